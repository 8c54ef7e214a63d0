// SPDX-License-Identifier: MIT
#include "iec101/ft12_frame.h"

#include <algorithm>
#include <array>

#include "channel/serial_channel.h"

uint8_t FrameChecksum(std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    return sum;
}

namespace {

void AppendAddress(std::vector<uint8_t>& frame, uint16_t linkAddress, const LinkConfig& config) {
    frame.push_back(static_cast<uint8_t>(linkAddress & 0xFF));
    if (AddressBytes(config.addressWidth) != 1) {
        frame.push_back(static_cast<uint8_t>(linkAddress >> 8));
    }
}

}  // namespace

std::vector<uint8_t> BuildFixedFrame(uint8_t control, uint16_t linkAddress,
                                     const LinkConfig& config) {
    std::vector<uint8_t> frame{kFixedStart, control};
    AppendAddress(frame, linkAddress, config);
    frame.push_back(FrameChecksum(std::span(frame).subspan(1)));
    frame.push_back(kFrameEnd);
    return frame;
}

std::vector<uint8_t> BuildVariableFrame(uint8_t control, uint16_t linkAddress,
                                        const LinkConfig& config, std::span<const uint8_t> asdu) {
    std::vector<uint8_t> frame{kVariableStart, 0x00, 0x00, kVariableStart, control};
    AppendAddress(frame, linkAddress, config);
    frame.insert(frame.end(), asdu.begin(), asdu.end());
    frame.push_back(FrameChecksum(std::span(frame).subspan(4)));
    frame.push_back(kFrameEnd);
    const auto length = static_cast<uint8_t>(frame.size() - 6);
    frame[1] = length;
    frame[2] = length;
    return frame;
}

FrameVerdict ClassifyFrame(std::span<const uint8_t> frame, const LinkConfig& config) {
    const size_t n = frame.size();
    FrameVerdict v;
    if (n == 0) {
        v.code = kReceiveNothing;
        return v;
    }
    if (n == 1) {
        v.code = frame[0] == kSingleAck ? kReceiveSingleAck : kReceiveShort;
        return v;
    }
    if (n < 5) {
        v.code = kReceiveShort;
        return v;
    }
    if (frame[0] != kVariableStart && frame[0] != kFixedStart) {
        v.code = kReceiveBadStart;
        return v;
    }
    const bool fixed = frame[0] == kFixedStart;
    const size_t p = fixed ? 1 : 4;
    // n >= 5, so for a variable frame the summed range may be empty (n = 5, 6) but never
    // leaves the bytes.
    const size_t checksumAt = n - 2;
    const uint8_t sum =
        checksumAt > p ? FrameChecksum(frame.subspan(p, checksumAt - p)) : uint8_t{0};
    if (frame[checksumAt] != sum) {
        v.code = kReceiveBadChecksum;
        return v;
    }
    if (frame[n - 1] != kFrameEnd) {
        v.code = kReceiveBadEnd;
        return v;
    }
    // The control field must lie before the checksum.
    if (p >= checksumAt) {
        v.code = kReceiveShort;
        return v;
    }
    const uint8_t control = frame[p];
    const size_t addressBytes = AddressBytes(config.addressWidth);
    // Where the cause of transmission of an ASDU stands.
    const size_t causeAt = p + addressBytes + 3;
    if (control == kUserDataControl) {
        // A user-data ASDU needs its type, qualifier and cause before the checksum.
        if (causeAt >= checksumAt) {
            v.code = kReceiveShort;
            return v;
        }
        v.userData = true;
        v.code = kReceiveOk;
        v.asduBegin = p + 1 + addressBytes;
        v.asduEnd = checksumAt;
        return v;
    }
    const uint8_t function = control & 0x0F;
    const bool readsCause = !fixed && (function == 1 || function == 9 || function == 11);
    if (readsCause && causeAt >= checksumAt) {
        v.code = kReceiveShort;
        return v;
    }
    const uint8_t x = fixed ? function : readsCause ? frame[causeAt] : uint8_t{0};
    switch (function) {
        case 0:
            v.code = kReceiveOk;
            break;
        case 1:
            v.code = x;
            break;
        case 9:
            v.code = fixed ? kReceiveNoData : x;
            break;
        case 11: {
            const uint8_t tested = fixed ? control : x;
            v.code = (tested & 0x10) != 0 ? kReceiveRejected : kReceiveOk;
            break;
        }
        default:
            v.code = kReceiveUnexpected;
            break;
    }
    return v;
}

ExchangeResult Iec101ReceiveResult(uint8_t receiveCode) {
    ExchangeResult result;
    result.code = receiveCode;
    switch (receiveCode) {
        case kReceiveOk:
            break;
        case kReceiveBadStart:
        case kReceiveBadEnd:
            result.line = LineFault::kFraming;
            break;
        case kReceiveBadChecksum:
            result.line = LineFault::kChecksum;
            break;
        case kReceiveNothing:
            result.line = LineFault::kNoAnswer;
            break;
        case kReceiveShort:
            result.line = LineFault::kShort;
            break;
        case kReceiveNoData:
        case kReceiveSingleAck:
            result.device = DeviceAnswer::kNoData;
            break;
        case kReceiveUnexpected:
            result.device = DeviceAnswer::kUnexpected;
            break;
        default:  // not confirmed (6), unknown type, cause or addresses (44 to 47)
            result.device = DeviceAnswer::kRefused;
            break;
    }
    return result;
}

uint8_t UserDataCode(uint8_t type, uint8_t cause) {
    if (cause >= 44 && cause <= 47) {
        return cause;
    }
    if (type == 100) {
        return cause == 7 || cause == 9 || cause == 10 ? kReceiveOk : kReceiveRejected;
    }
    return kReceiveOk;
}

std::vector<uint8_t> CollectAnswer(SerialChannel& port) {
    Clock& clock = port.GetClock();
    std::vector<uint8_t> collected(kReceiveBufferSize);
    size_t count = port.ReadAvailable(collected.data(), kReceiveBufferSize);
    if (count == 0) {
        clock.Sleep(50);
    }
    clock.Sleep(25);
    std::array<uint8_t, kReceiveChunkSize> chunk{};
    size_t room = kReceiveBufferSize - count;
    size_t got = room == 0 ? 0 : port.ReadAvailable(chunk.data(), std::min(room, chunk.size()));
    while (got > 0) {
        std::copy_n(chunk.begin(), got, collected.begin() + static_cast<std::ptrdiff_t>(count));
        count += got;
        clock.Sleep(25);
        room = kReceiveBufferSize - count;
        got = room == 0 ? 0 : port.ReadAvailable(chunk.data(), std::min(room, chunk.size()));
    }
    collected.resize(count);
    return collected;
}
