// SPDX-License-Identifier: MIT
// Whole simulated sessions (scan, configuration read, change-over, polls, clock synchronisation,
// the delay measurement) recorded at the serial channel, saved as pcapng and read back by
// Wireshark's dissectors (tshark) with the options CaptureCommandLine gives: every packet's
// interface, direction, time stamp and protocol fields must agree with the monitor's own
// decoding of the same frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "channel/line_mode.h"
#include "monitor/capture_file.h"
#include "monitor/frame_decoding.h"
#include "platform/file_sink.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"
#include "support/scratch_dir.h"
#include "support/tshark_fields.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kFields = {
    "frame.interface_id",
    "frame.packet_flags_direction",
    "frame.p2p_dir",
    "frame.time_epoch",
    "frame.protocols",
    "frame.comment",
    "rtacser.eventtype",
    "rtacser.timestamp",
    "rtacser.rts",
    "rtacser.dtr",
    "mbrtu.unit_id",
    "mbrtu.crc16.status",
    "modbus.func_code",
    "modbus.reference_num",
    "modbus.word_cnt",
    "modbus.byte_cnt",
    "modbus.exception_code",
    "iec60870_101.ctrl_prm",
    "iec60870_101.ctrl_fcb",
    "iec60870_101.ctrl_fcv",
    "iec60870_101.ctrl_dfc",
    "iec60870_101.ctrl_func_pri_to_sec",
    "iec60870_101.ctrl_func_sec_to_pri",
    "iec60870_101.linkaddr",
    "iec60870_asdu.typeid",
    "iec60870_asdu.causetx",
    "iec60870_asdu.nega",
    "iec60870_asdu.test",
    "iec60870_asdu.addr",
    "iec60870_asdu.numix",
    "_ws.malformed",
    "_ws.expert.severity",
};

using Decoded = TsharkRow;

// The expert's severity of a packet comment.
constexpr const char* kCommentSeverity = "1048576";

std::string Text(const std::optional<uint8_t>& v) {
    return v ? std::to_string(*v) : "";
}
std::string Text(const std::optional<uint16_t>& v) {
    return v ? std::to_string(*v) : "";
}
std::string Bit(bool v) {
    return v ? "1" : "0";
}

// "1710331200.123456000" as microseconds, read without the C library's locale.
uint64_t EpochMicroseconds(const std::string& text) {
    const size_t dot = text.find('.');
    uint64_t us = std::stoull(text.substr(0, dot)) * 1'000'000;
    if (dot != std::string::npos) {
        std::string fraction = text.substr(dot + 1) + "000000";
        us += std::stoull(fraction.substr(0, 6));
    }
    return us;
}

// One recorded session and its capture file, read back by tshark.
class CaptureInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("tshark")) {
            GTEST_SKIP() << "tshark is not installed";
        }
        dir_.emplace("capture-tshark-");
    }

    // Saves the recorder's frames and decodes the file with the command line the monitor
    // offers for these widths, the fields above added.
    std::vector<Decoded> SaveAndDecode(const TrafficRecorder& recorder, const FrameWidths& widths,
                                       const std::string& extraOptions = "") {
        // A name the shell must be given quoted.
        const std::string file = (*dir_ / "it's a session.pcapng").string();
        StdFileSystem files;
        EXPECT_TRUE(SaveCapture(files, file, recorder, "polmira"));
        const TsharkOutput output =
            RunTsharkFields(CaptureCommandLine(file, widths) + extraOptions, kFields, *dir_);
        EXPECT_EQ(output.status, 0);
        EXPECT_EQ(output.errors.find("rror"), std::string::npos) << output.errors;
        return output.rows;
    }

    std::optional<ScratchDir> dir_;
};

std::vector<TrafficFrame> Frames(const TrafficRecorder& recorder) {
    std::vector<TrafficFrame> frames;
    for (uint64_t s = recorder.FirstSequence(); s < recorder.CompleteEnd(); ++s) {
        frames.push_back(recorder.Frame(s));
    }
    return frames;
}

// What tshark must show of a Modbus RTU frame, from the monitor's decoding.
void CheckModbusRtu(const TrafficFrame& frame, const Decoded& row) {
    const FrameFields f = ReadFrameFields(frame);
    ASSERT_TRUE(f.address.has_value());
    EXPECT_NE(row.at("frame.protocols").find(":mbrtu:modbus"), std::string::npos);
    EXPECT_EQ(row.at("mbrtu.unit_id"), Text(f.address));
    EXPECT_EQ(row.at("mbrtu.crc16.status"), f.checksumGood ? "1" : "0");
    if (f.exception) {
        EXPECT_EQ(row.at("modbus.func_code"), std::to_string(*f.function & 0x7F));
        EXPECT_EQ(row.at("modbus.exception_code"), Text(f.exception));
        return;
    }
    EXPECT_EQ(row.at("modbus.func_code"), Text(f.function));
    const uint8_t function = *f.function;
    if (function == 3 || function == 4 || function == 16) {
        EXPECT_EQ(row.at("modbus.reference_num"), Text(f.start));
        EXPECT_EQ(row.at("modbus.word_cnt"), Text(f.count));
        EXPECT_EQ(row.at("modbus.byte_cnt"), Text(f.byteCount));
    }
}

void CheckFt12(const TrafficFrame& frame, const Decoded& row) {
    const FrameFields f = ReadFrameFields(frame);
    EXPECT_EQ(row.at("frame.protocols").rfind("rtacser:iec60870_101", 0), 0u);
    EXPECT_EQ(row.at("_ws.malformed"), "");
    if (f.shape == FrameFields::Shape::kFt12Single) {
        EXPECT_EQ(row.at("iec60870_101.linkaddr"), "");
        return;
    }
    ASSERT_TRUE(f.checksumGood);
    EXPECT_EQ(row.at("iec60870_101.ctrl_prm"), Bit(f.prm));
    EXPECT_EQ(
        row.at(f.prm ? "iec60870_101.ctrl_func_pri_to_sec" : "iec60870_101.ctrl_func_sec_to_pri"),
        std::to_string(f.linkFunction));
    if (f.prm) {
        EXPECT_EQ(row.at("iec60870_101.ctrl_fcb"), Bit(f.fcbOrAcd));
        EXPECT_EQ(row.at("iec60870_101.ctrl_fcv"), Bit(f.fcvOrDfc));
    } else {
        EXPECT_EQ(row.at("iec60870_101.ctrl_dfc"), Bit(f.fcvOrDfc));
    }
    EXPECT_EQ(row.at("iec60870_101.linkaddr"), Text(f.linkAddress));
    EXPECT_EQ(row.at("iec60870_asdu.typeid"), Text(f.asduType));
    if (f.asduType) {
        EXPECT_EQ(row.at("iec60870_asdu.causetx"), Text(f.cause));
        EXPECT_EQ(row.at("iec60870_asdu.nega"), Bit(f.negative));
        EXPECT_EQ(row.at("iec60870_asdu.test"), Bit(f.test));
        EXPECT_EQ(row.at("iec60870_asdu.addr"), Text(f.commonAddress));
        EXPECT_EQ(row.at("iec60870_asdu.numix"), Text(f.objects));
    }
}

// Every packet against its recorded frame: the count, the interface, the direction (epb_flags,
// and for IEC-101 the serial header's event), the time stamp and the protocol fields.
void CheckCapture(const TrafficRecorder& recorder, const std::vector<Decoded>& rows) {
    const std::vector<TrafficFrame> frames = Frames(recorder);
    ASSERT_EQ(rows.size(), frames.size());
    uint64_t lastUs = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const TrafficFrame& frame = frames[i];
        const Decoded& row = rows[i];
        SCOPED_TRACE("packet " + std::to_string(i + 1) + ": " + DescribeFrame(frame));
        const bool sent = frame.direction == TrafficDirection::kSent;
        EXPECT_EQ(row.at("frame.interface_id"), std::to_string(CaptureInterface(frame.kind)));
        EXPECT_EQ(row.at("frame.packet_flags_direction"), sent ? "0x00000002" : "0x00000001");
        EXPECT_EQ(row.at("frame.p2p_dir"), sent ? "0" : "1");
        const uint64_t us = EpochMicroseconds(row.at("frame.time_epoch"));
        EXPECT_EQ(us, static_cast<uint64_t>(recorder.UnixMsAtZero()) * 1000 + frame.timeUs);
        EXPECT_GE(us, lastUs);
        lastUs = us;
        EXPECT_EQ(row.at("frame.comment"),
                  FormatModeString(frame.context.line) + " | " + DescribeFrame(frame));
        // Nothing for the expert but the comment: no bad CRC, no malformed or short frame.
        EXPECT_EQ(row.at("_ws.expert.severity"), kCommentSeverity);
        switch (frame.kind) {
            case FrameKind::kModbusRtu:
                CheckModbusRtu(frame, row);
                break;
            case FrameKind::kFt12:
                EXPECT_EQ(row.at("rtacser.eventtype"), sent ? "0x01" : "0x02");
                EXPECT_EQ(EpochMicroseconds(row.at("rtacser.timestamp")), us);
                EXPECT_EQ(row.at("rtacser.rts"), Bit(frame.context.line.rtsOn));
                EXPECT_EQ(row.at("rtacser.dtr"), Bit(frame.context.line.dtrOn));
                CheckFt12(frame, row);
                break;
            default:
                EXPECT_EQ(row.at("frame.protocols"), "user_dlt:data");
                break;
        }
    }
}

// How many frames of each kind the session had.
std::map<FrameKind, int> KindCounts(const TrafficRecorder& recorder) {
    std::map<FrameKind, int> counts;
    for (const TrafficFrame& frame : Frames(recorder)) {
        ++counts[frame.kind];
    }
    return counts;
}

// The scan, the configuration read, the change-over, polls, a clock synchronisation (which
// starts again) and polls.
void RunSession(ScenarioBench& bench) {
    bench.Start();
    ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
    bench.RunTicks(4);
    bench.controller.OnSyncClock();
    ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
    bench.RunTicks(3);
}

// A profile as an IEC-101 station at the link address, with the field widths.
SimProfile IecProfile(const char* key, uint16_t linkAddress, uint8_t addressWidth,
                      uint8_t causeWidth) {
    SimProfile profile = SteadyProfile(key);
    profile.config.ExchangeMode = ExchangeMode::kIec101;
    profile.config.linkAddress = linkAddress;
    profile.config.iecAddressWidth = addressWidth;
    profile.config.iecCauseWidth = causeWidth;
    RebuildProfileConfig(profile);
    return profile;
}

// The delay measurement, then polls again. It begins when the station holds nothing more for
// class 2, so that its confirmation is the answer to the first class 2 request.
void MeasureDelay(ScenarioBench& bench) {
    for (int i = 0; i < 200 && bench.device.Station()->QueuedAnswers() != 0; ++i) {
        bench.view.RunFor(10);
    }
    ASSERT_EQ(bench.device.Station()->QueuedAnswers(), 0u);
    bench.controller.OnMeasureDelay();
    ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
    bench.RunTicks(2);
}

bool HasAsduType(const TrafficRecorder& recorder, uint8_t type, TrafficDirection direction) {
    for (const TrafficFrame& frame : Frames(recorder)) {
        if (frame.direction == direction && ReadFrameFields(frame).asduType == type) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST_F(CaptureInterop, ModbusRtuSessionDecodesAsTheMonitorReadsIt) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
    RunSession(bench);
    const TrafficRecorder& recorder = bench.channel.Traffic();
    const auto counts = KindCounts(recorder);
    EXPECT_GT(counts.at(FrameKind::kWakeUp), 0);
    EXPECT_GT(counts.at(FrameKind::kModbusRtu), 10);
    CheckCapture(recorder, SaveAndDecode(recorder, FrameWidths{}));
}

TEST_F(CaptureInterop, IecSessionMixesModbusAndFt12EachWithItsDissector) {
    // The clock is set at link address 1: the station sits there.
    ScenarioBench bench(PolmiraVariant(), IecProfile("TQ21", 1, 1, 1));  // TQ21 keeps a clock
    RunSession(bench);
    MeasureDelay(bench);
    const TrafficRecorder& recorder = bench.channel.Traffic();
    const auto counts = KindCounts(recorder);
    EXPECT_GT(counts.at(FrameKind::kModbusRtu), 1);  // the configuration read
    EXPECT_GT(counts.at(FrameKind::kFt12), 10);
    EXPECT_TRUE(HasAsduType(recorder, 103, TrafficDirection::kSent));  // clock synchronisation
    EXPECT_TRUE(HasAsduType(recorder, 103, TrafficDirection::kReceived));
    EXPECT_TRUE(HasAsduType(recorder, 106, TrafficDirection::kSent));  // delay acquisition
    EXPECT_TRUE(HasAsduType(recorder, 106, TrafficDirection::kReceived));
    CheckCapture(recorder, SaveAndDecode(recorder, FrameWidths{1, 1, 1, 2}));
}

TEST_F(CaptureInterop, IecSessionWithTwoByteAddressesAndCause) {
    // Link and common address 258 (0x0102), so that a byte swapped shows. No clock (it is set
    // at link address 1 only): TQ51.
    ScenarioBench bench(PolmiraVariant(), IecProfile("TQ51", 258, 2, 2));
    bench.Start();
    ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
    MeasureDelay(bench);
    bench.RunTicks(4);
    const TrafficRecorder& recorder = bench.channel.Traffic();
    EXPECT_TRUE(HasAsduType(recorder, 106, TrafficDirection::kReceived));
    const FrameWidths widths{2, 2, 2, 2};
    for (const TrafficFrame& frame : Frames(recorder)) {
        if (frame.kind == FrameKind::kFt12) {
            ASSERT_EQ(frame.context.widths, widths);
            const FrameFields f = ReadFrameFields(frame);
            if (f.linkAddress) {
                EXPECT_EQ(*f.linkAddress, 258);
            }
        }
    }
    CheckCapture(recorder, SaveAndDecode(recorder, widths));
}

TEST_F(CaptureInterop, ModbusAsciiSessionDecodedByTheMonitorAndReadByTshark) {
    // Debian's tshark has no Modbus ASCII dissector: the packets are checked by the monitor's
    // decoding, and tshark has to read every one of them as data on the serial interface.
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ20"));  // ASCII, slave 2
    RunSession(bench);
    const TrafficRecorder& recorder = bench.channel.Traffic();
    int requests = 0;
    int answers = 0;
    for (const TrafficFrame& frame : Frames(recorder)) {
        if (frame.kind != FrameKind::kModbusAscii) {
            continue;
        }
        SCOPED_TRACE(HexBytes(frame.bytes));
        const FrameFields f = ReadFrameFields(frame);
        EXPECT_EQ(f.shape, FrameFields::Shape::kModbus);
        EXPECT_TRUE(f.checksumGood);
        EXPECT_TRUE(f.complete);
        EXPECT_FALSE(IsFailedFrame(frame)) << DescribeFrame(frame);
        ASSERT_TRUE(f.address && f.function);
        if (frame.direction == TrafficDirection::kSent) {
            ++requests;
            if (*f.function == 3 || *f.function == 4 || *f.function == 16) {
                EXPECT_TRUE(f.start && f.count);
            }
        } else {
            ++answers;
        }
    }
    EXPECT_GT(requests, 5);
    EXPECT_GT(answers, 5);
    CheckCapture(recorder, SaveAndDecode(recorder, FrameWidths{}));
}
