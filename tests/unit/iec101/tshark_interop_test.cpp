// SPDX-License-Identifier: MIT
// Every frame kind the master builds, decoded by an independent decoder: Wireshark's
// IEC 60870-5-101 dissector (tshark), with the field widths given as its preferences.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "iec101/iec101_commands.h"
#include "iec101_test_support.h"
#include "platform/calendar.h"
#include "support/scratch_dir.h"
#include "support/system_time.h"
#include "support/tshark_fields.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kFields = {
    "iec60870_101.ctrlfield",
    "iec60870_101.ctrl_prm",
    "iec60870_101.ctrl_fcb",
    "iec60870_101.ctrl_fcv",
    "iec60870_101.ctrl_func_pri_to_sec",
    "iec60870_101.linkaddr",
    "iec60870_asdu.typeid",
    "iec60870_asdu.sq",
    "iec60870_asdu.numix",
    "iec60870_asdu.causetx",
    "iec60870_asdu.nega",
    "iec60870_asdu.test",
    "iec60870_asdu.oa",
    "iec60870_asdu.addr",
    "iec60870_asdu.ioa",
    "iec60870_asdu.qoi",
    "iec60870_asdu.cp56time.ms",
    "iec60870_asdu.cp56time.min",
    "iec60870_asdu.cp56time.iv",
    "iec60870_asdu.cp56time.hour",
    "iec60870_asdu.cp56time.su",
    "iec60870_asdu.cp56time.day",
    "iec60870_asdu.cp56time.dow",
    "iec60870_asdu.cp56time.month",
    "iec60870_asdu.cp56time.year",
    "iec60870_asdu.rawdata",
    "_ws.malformed",
    "_ws.expert.message",
};

using Decoded = TsharkRow;

class TsharkInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("tshark") || !HaveTool("text2pcap")) {
            GTEST_SKIP() << "tshark or text2pcap is not installed";
        }
        dir_.emplace("iec101-tshark-");
    }

    // Decodes the frames, one packet each, with the given widths.
    std::vector<Decoded> Decode(const std::vector<std::vector<uint8_t>>& frames,
                                const IecWidths& w) {
        {
            std::ofstream dump(*dir_ / "frames.txt");
            for (const auto& frame : frames) {
                dump << "000000 " << Hex(frame) << "\n";
            }
        }
        const auto octets = [](int n) { return std::to_string(n) + " octet"; };
        std::string command =
            "text2pcap -q -T 2404,2404 '" + (*dir_ / "frames.txt").string() + "' '" +
            (*dir_ / "frames.pcap").string() + "' && tshark -n -r '" +
            (*dir_ / "frames.pcap").string() + "' -d tcp.port==2404,iec60870_101" +
            " -o 'iec60870_101.linkaddr_len:" + octets(AddressBytes(w.address)) +
            "' -o 'iec60870_101.asdu_addr_len:" + octets(AddressBytes(w.address)) +
            "' -o 'iec60870_101.cot_len:" + octets(CauseBytes(w.cause)) +
            "' -o 'iec60870_101.asdu_ioa_len:" + octets(IoaBytes(w.ioa)) + "'";
        const TsharkOutput output = RunTsharkFields(command, kFields, *dir_);
        EXPECT_EQ(output.status, 0) << output.errors;
        return output.rows;
    }

    std::optional<ScratchDir> dir_;
};

// Field names without their protocol prefix: "l." for the link layer, "a." for the ASDU.
Decoded Fields(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    Decoded d;
    for (const auto& [k, v] : pairs) {
        std::string key = k;
        if (key.rfind("l.", 0) == 0) {
            key = "iec60870_101." + key.substr(2);
        } else if (key.rfind("a.", 0) == 0) {
            key = "iec60870_asdu." + key.substr(2);
        }
        d[key] = v;
    }
    return d;
}

void CheckRows(const std::vector<Decoded>& rows, const std::vector<Decoded>& expected) {
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        for (const auto& [field, value] : expected[i]) {
            EXPECT_EQ(rows[i].at(field), value) << "frame " << i << ", " << field;
        }
        EXPECT_EQ(rows[i].at("_ws.malformed"), "") << "frame " << i;
        EXPECT_EQ(rows[i].at("_ws.expert.message"), "") << "frame " << i;
    }
}

}  // namespace

TEST_F(TsharkInterop, LinkServicesAndCommandsAsTheMasterWritesThem) {
    // Link address 1, one-byte address and cause, three-byte IOA: the dissector has no decoder
    // for types 102 and 106 and reads them with a three-byte IOA whatever its preference says,
    // so these two are checked with that width only.
    MasterBench bench;
    const IecWidths widths{1, 3, 1};
    // UTC 2024-03-13 11:05:07.004, local (+3 h) 14:05:07.004, a Wednesday.
    bench.clock.SetUnixMsAtStart(UnixMsFromCalendar(Time(2024, 3, 13, 11, 5, 7, 4)));
    Iec101Master& m = bench.master;
    m.RequestLinkStatus(1, LinkConfig::FromWidths(widths));
    bench.clock.SetUnixMsAtStart(UnixMsFromCalendar(Time(2024, 3, 13, 11, 5, 7, 4)) - 150);
    m.ResetRemoteLink(1, LinkConfig::FromWidths(widths));
    bench.clock.SetUnixMsAtStart(UnixMsFromCalendar(Time(2024, 3, 13, 11, 5, 7, 4)) - 300);
    m.SendClockSync(1, LinkConfig::FromWidths(widths), true);                           // FCB 1
    m.RequestClass2Data(1, LinkConfig::FromWidths(widths));                             // 0
    m.SendAsduCommand(1, kTypeInterrogation, 0, LinkConfig::FromWidths(widths, 0, 6));  // 1
    m.SendAsduCommand(1, kTypeInterrogation, 0x1234, LinkConfig::FromWidths(widths, 16, 8));
    m.SendAsduCommand(1, kTypeRead, 0x00C8, LinkConfig::FromWidths(widths, 0, 5));   // 1
    m.WriteFrame(m.BuildDelayActivation(1, LinkConfig::FromWidths(widths), 59999));  // 0
    m.WriteFrame(m.BuildDelayTransfer(1, LinkConfig::FromWidths(widths), 12));       // 1
    m.RequestClass2Data(1, LinkConfig::FromWidths(widths));                          // 0

    const std::vector<Decoded> expected = {
        Fields({{"l.ctrlfield", "0x49"},
                {"l.ctrl_prm", "1"},
                {"l.ctrl_fcv", "0"},
                {"l.ctrl_func_pri_to_sec", "9"},
                {"l.linkaddr", "1"},
                {"a.typeid", ""}}),
        Fields({{"l.ctrlfield", "0x40"},
                {"l.ctrl_fcv", "0"},
                {"l.ctrl_func_pri_to_sec", "0"},
                {"l.linkaddr", "1"}}),
        Fields({{"l.ctrlfield", "0x73"},
                {"l.ctrl_fcb", "1"},
                {"l.ctrl_fcv", "1"},
                {"l.ctrl_func_pri_to_sec", "3"},
                {"l.linkaddr", "1"},
                {"a.typeid", "103"},
                {"a.sq", "0"},
                {"a.numix", "1"},
                {"a.causetx", "6"},
                {"a.nega", "0"},
                {"a.test", "0"},
                {"a.addr", "1"},
                {"a.ioa", "0"},
                {"a.cp56time.ms", "7004"},
                {"a.cp56time.min", "5"},
                {"a.cp56time.iv", "0"},
                {"a.cp56time.hour", "14"},
                {"a.cp56time.su", "0"},
                {"a.cp56time.day", "13"},
                {"a.cp56time.dow", "3"},
                {"a.cp56time.month", "3"},
                {"a.cp56time.year", "24"}}),
        Fields({{"l.ctrlfield", "0x5b"},
                {"l.ctrl_fcb", "0"},
                {"l.ctrl_fcv", "1"},
                {"l.ctrl_func_pri_to_sec", "11"},
                {"l.linkaddr", "1"}}),
        Fields({{"l.ctrlfield", "0x73"},
                {"l.ctrl_func_pri_to_sec", "3"},
                {"a.typeid", "100"},
                {"a.numix", "1"},
                {"a.causetx", "6"},
                {"a.addr", "1"},
                {"a.ioa", "0"},
                {"a.qoi", "20"}}),
        Fields({{"l.ctrlfield", "0x53"},
                {"a.typeid", "100"},
                {"a.causetx", "8"},
                {"a.ioa", "4660"},
                {"a.qoi", "36"}}),
        Fields({{"l.ctrlfield", "0x7b"},
                {"l.ctrl_func_pri_to_sec", "11"},
                {"a.typeid", "102"},
                {"a.numix", "1"},
                {"a.causetx", "5"},
                {"a.addr", "1"},
                {"a.ioa", "200"},
                {"a.qoi", ""}}),
        Fields({{"l.ctrlfield", "0x53"},
                {"a.typeid", "106"},
                {"a.causetx", "6"},
                {"a.addr", "1"},
                {"a.ioa", "0"},
                {"a.rawdata", "5fea"}}),
        Fields({{"l.ctrlfield", "0x73"},
                {"a.typeid", "106"},
                {"a.causetx", "3"},
                {"a.ioa", "0"},
                {"a.rawdata", "0c00"}}),
        Fields({{"l.ctrlfield", "0x5b"}, {"l.linkaddr", "1"}}),
    };
    CheckRows(Decode(bench.Written(), widths), expected);
}

TEST_F(TsharkInterop, TwoByteAddressesAndTheGroup3Example) {
    // Two-byte IOA: types 100 and 103 and the fixed frames only (see above).
    const IecWidths widths{2, 2, 1};
    const LinkConfig c = LinkConfig::FromWidths(widths, 3, 8);
    const std::vector<std::vector<uint8_t>> frames = {
        BuildFixedFrame(kControlLinkStatus, 0x0102, c),
        BuildFixedFrame(kControlClass2 | kControlFcb, 0x0102, c),
        BuildInterrogationFrame(0, 0x0102, 0x0010, c),
        BuildInterrogationFrame(1, 0x0102, 0x0010, c),
        BuildClockSyncFrame(0, 0xFFFE, c, Time(2024, 3, 17, 23, 59, 59, 999)),
    };
    const std::vector<Decoded> expected = {
        Fields({{"l.ctrlfield", "0x49"}, {"l.linkaddr", "258"}}),
        Fields({{"l.ctrlfield", "0x7b"}, {"l.ctrl_fcb", "1"}, {"l.linkaddr", "258"}}),
        Fields({{"l.ctrlfield", "0x53"},
                {"l.linkaddr", "258"},
                {"a.typeid", "100"},
                {"a.causetx", "8"},
                {"a.addr", "258"},
                {"a.ioa", "16"},
                {"a.qoi", "23"}}),
        Fields({{"l.ctrlfield", "0x73"}, {"l.ctrl_fcb", "1"}, {"a.addr", "258"}, {"a.qoi", "23"}}),
        // Sunday carries 7.
        Fields({{"l.linkaddr", "65534"},
                {"a.typeid", "103"},
                {"a.addr", "65534"},
                {"a.cp56time.ms", "59999"},
                {"a.cp56time.min", "59"},
                {"a.cp56time.hour", "23"},
                {"a.cp56time.day", "17"},
                {"a.cp56time.dow", "7"},
                {"a.cp56time.month", "3"},
                {"a.cp56time.year", "24"}}),
    };
    CheckRows(Decode(frames, widths), expected);
}

TEST_F(TsharkInterop, TwoByteCauseWithOriginatorAndThreeByteIoa) {
    const IecWidths widths{2, 3, 2};
    const std::vector<std::vector<uint8_t>> frames = {
        BuildInterrogationFrame(1, 0x0201, 0x030201, LinkConfig::FromWidths(widths, 5, 6)),
        BuildReadFrame(0, 0x0201, 0x030201, LinkConfig::FromWidths(widths, 0, 5)),
        BuildClockSyncFrame(1, 0x0201, LinkConfig::FromWidths(widths),
                            Time(2000, 1, 1, 0, 0, 0, 10)),
        BuildDelayActivationFrame(0, 0x0201, LinkConfig::FromWidths(widths), 1000),
        BuildDelayTransferFrame(1, 0x0201, LinkConfig::FromWidths(widths), 20),
    };
    const std::vector<Decoded> expected = {
        Fields({{"l.linkaddr", "513"},
                {"a.typeid", "100"},
                {"a.causetx", "6"},
                {"a.oa", "2"},
                {"a.addr", "513"},
                {"a.ioa", "197121"},
                {"a.qoi", "25"}}),
        Fields({{"l.ctrl_func_pri_to_sec", "11"},
                {"a.typeid", "102"},
                {"a.causetx", "5"},
                {"a.oa", "2"},
                {"a.ioa", "197121"}}),
        // The year 2000 carries year byte 0; 2000-01-01 was a Saturday.
        Fields({{"a.typeid", "103"},
                {"a.oa", "2"},
                {"a.ioa", "0"},
                {"a.cp56time.ms", "10"},
                {"a.cp56time.day", "1"},
                {"a.cp56time.dow", "6"},
                {"a.cp56time.month", "1"},
                {"a.cp56time.year", "0"}}),
        Fields({{"a.typeid", "106"}, {"a.causetx", "6"}, {"a.oa", "2"}, {"a.rawdata", "e803"}}),
        Fields({{"a.typeid", "106"}, {"a.causetx", "3"}, {"a.oa", "2"}, {"a.rawdata", "1400"}}),
    };
    CheckRows(Decode(frames, widths), expected);
}

TEST_F(TsharkInterop, OneByteIoaClockSynchronisationExample) {
    const IecWidths widths{1, 1, 1};
    const std::vector<std::vector<uint8_t>> frames = {
        BuildClockSyncFrame(1, 1, LinkConfig::FromWidths(widths), Time(2024, 3, 13, 14, 5, 7, 4)),
    };
    ASSERT_EQ(frames[0], Hex("68 0E 0E 68 73 01 67 01 06 01 00 5C 1B 05 0E 6D 03 18 F5 16"));
    CheckRows(Decode(frames, widths), {Fields({{"a.typeid", "103"},
                                               {"a.ioa", "0"},
                                               {"a.cp56time.ms", "7004"},
                                               {"a.cp56time.hour", "14"},
                                               {"a.cp56time.dow", "3"}})});
}
