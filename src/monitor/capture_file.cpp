// SPDX-License-Identifier: MIT
#include "monitor/capture_file.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "channel/line_mode.h"
#include "monitor/frame_decoding.h"

namespace {

constexpr uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescriptionBlock = 1;
constexpr uint32_t kEnhancedPacketBlock = 6;
constexpr uint16_t kOptionEnd = 0;
constexpr uint16_t kOptionComment = 1;
constexpr uint16_t kOptionName = 2;         // if_name
constexpr uint16_t kOptionDescription = 3;  // if_description
constexpr uint16_t kOptionApplication = 4;  // shb_userappl
constexpr uint16_t kOptionFlags = 2;        // epb_flags
constexpr uint32_t kFlagInbound = 1;
constexpr uint32_t kFlagOutbound = 2;
// The serial header's events (data transmitted, data received) and control-line bits.
constexpr uint8_t kRtacTransmit = 0x01;
constexpr uint8_t kRtacReceive = 0x02;
constexpr uint8_t kRtacRts = 0x08;
constexpr uint8_t kRtacDtr = 0x10;

// Little-endian writer of blocks; pcapng's byte order is the writer's, marked in the header.
class BlockWriter {
  public:
    void U8(uint8_t v) { body_.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void U32BigEndian(uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            U8(static_cast<uint8_t>(v >> shift));
        }
    }
    void Bytes(std::span<const uint8_t> bytes) {
        body_.insert(body_.end(), bytes.begin(), bytes.end());
    }
    void Pad() {
        while (body_.size() % 4 != 0) {
            U8(0);
        }
    }
    void Option(uint16_t code, std::string_view value) {
        U16(code);
        U16(static_cast<uint16_t>(value.size()));
        Bytes(std::span(reinterpret_cast<const uint8_t*>(value.data()), value.size()));
        Pad();
    }
    void OptionU32(uint16_t code, uint32_t value) {
        U16(code);
        U16(4);
        U32(value);
    }
    void EndOptions() {
        U16(kOptionEnd);
        U16(0);
    }
    // Frames the body as a block of the type and appends it to out.
    void Emit(uint32_t type, std::vector<uint8_t>& out) {
        Pad();
        const auto length = static_cast<uint32_t>(body_.size() + 12);
        BlockWriter frame;
        frame.U32(type);
        frame.U32(length);
        frame.Bytes(body_);
        frame.U32(length);
        out.insert(out.end(), frame.body_.begin(), frame.body_.end());
        body_.clear();
    }

  private:
    std::vector<uint8_t> body_;
};

void AddInterface(std::vector<uint8_t>& out, uint16_t linkType, std::string_view name,
                  std::string_view description) {
    BlockWriter block;
    block.U16(linkType);
    block.U16(0);  // reserved
    block.U32(0);  // snap length: no limit
    block.Option(kOptionName, name);
    block.Option(kOptionDescription, description);
    block.EndOptions();
    block.Emit(kInterfaceDescriptionBlock, out);
}

void AddPacket(std::vector<uint8_t>& out, const TrafficFrame& frame, int64_t unixMsAtZero) {
    const uint32_t interface = CaptureInterface(frame.kind);
    const bool sent = frame.direction == TrafficDirection::kSent;
    const bool serialHeader = interface == capture::kInterfaceIec101;
    const auto stampUs = static_cast<uint64_t>(unixMsAtZero * 1000) + frame.timeUs;
    const auto length = static_cast<uint32_t>(frame.bytes.size() + (serialHeader ? 12 : 0));

    BlockWriter block;
    block.U32(interface);
    block.U32(static_cast<uint32_t>(stampUs >> 32));
    block.U32(static_cast<uint32_t>(stampUs));
    block.U32(length);  // captured
    block.U32(length);  // on the wire
    if (serialHeader) {
        block.U32BigEndian(static_cast<uint32_t>(stampUs / 1'000'000));
        block.U32BigEndian(static_cast<uint32_t>(stampUs % 1'000'000));
        block.U8(sent ? kRtacTransmit : kRtacReceive);
        // The control lines this program drives; the inputs (CTS, DSR, DCD) are not read.
        const LineSettings& line = frame.context.line;
        block.U8(static_cast<uint8_t>((line.rtsOn ? kRtacRts : 0) | (line.dtrOn ? kRtacDtr : 0)));
        block.U16(0);  // footer
    }
    block.Bytes(frame.bytes);
    block.Pad();
    block.OptionU32(kOptionFlags, sent ? kFlagOutbound : kFlagInbound);
    block.Option(kOptionComment,
                 FormatModeString(frame.context.line) + " | " + DescribeFrame(frame));
    block.EndOptions();
    block.Emit(kEnhancedPacketBlock, out);
}

std::string OctetText(uint8_t bytes) {
    return std::string(1, static_cast<char>('0' + bytes)) + " octet";
}

// The text as one word of a POSIX shell: in single quotes, each quote written as '\''.
std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

uint32_t CaptureInterface(FrameKind kind) {
    switch (kind) {
        case FrameKind::kModbusRtu:
            return capture::kInterfaceModbusRtu;
        case FrameKind::kFt12:
            return capture::kInterfaceIec101;
        default:
            return capture::kInterfaceSerial;
    }
}

std::vector<uint8_t> BuildCapture(const TrafficRecorder& recorder, uint64_t first, uint64_t end,
                                  const std::string& application) {
    std::vector<uint8_t> out;
    BlockWriter header;
    header.U32(0x1A2B3C4D);  // byte-order magic
    header.U16(1);           // version 1.0
    header.U16(0);
    header.U32(0xFFFFFFFF);  // section length unknown
    header.U32(0xFFFFFFFF);
    header.Option(kOptionApplication, application);
    header.EndOptions();
    header.Emit(kSectionHeaderBlock, out);
    AddInterface(out, capture::kLinkTypeModbusRtu, "modbus-rtu", "Modbus RTU");
    AddInterface(out, capture::kLinkTypeRtacSerial, "iec-101",
                 "IEC 60870-5-101 FT1.2 behind a serial capture header");
    AddInterface(out, capture::kLinkTypeSerial, "serial",
                 "wake-up bytes, Modbus ASCII, bytes read to empty the line");

    const uint64_t from = std::max(first, recorder.FirstSequence());
    const uint64_t to = std::min(end, recorder.CompleteEnd());
    for (uint64_t s = from; s < to; ++s) {
        AddPacket(out, recorder.Frame(s), recorder.UnixMsAtZero());
    }
    return out;
}

bool SaveCapture(FileSystem& files, const std::string& path, const TrafficRecorder& recorder,
                 const std::string& application) {
    const std::unique_ptr<FileSink> sink = files.Create(path);
    if (!sink) {
        return false;
    }
    const std::vector<uint8_t> bytes =
        BuildCapture(recorder, recorder.FirstSequence(), recorder.CompleteEnd(), application);
    return sink->Write(
               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())) &&
           sink->Flush();
}

std::string CaptureCommandLine(const std::string& file, const FrameWidths& widths) {
    return "tshark -r " + ShellQuoted(file) +
           " -o 'uat:user_dlts:\"User 0 (DLT=147)\",\"mbrtu\",\"0\",\"\",\"0\",\"\"'"
           " -o 'uat:user_dlts:\"User 1 (DLT=148)\",\"data\",\"0\",\"\",\"0\",\"\"'"
           " -o mbrtu.crc_verification:TRUE"
           " -d rtacser.data,iec60870_101"
           " -o 'iec60870_101.linkaddr_len:" +
           OctetText(widths.linkAddress) + "' -o 'iec60870_101.cot_len:" + OctetText(widths.cause) +
           "' -o 'iec60870_101.asdu_addr_len:" + OctetText(widths.commonAddress) +
           "' -o 'iec60870_101.asdu_ioa_len:" + OctetText(widths.ioa) + "'";
}
