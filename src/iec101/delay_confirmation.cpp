// SPDX-License-Identifier: MIT
#include "iec101/delay_confirmation.h"

namespace {

constexpr uint32_t kMsPerMinute = 60000;

// Where the returned time stands: after 68 L L 68, the control field, the link address, type,
// qualifier, cause, common address and object address.
size_t TimeOffset(const LinkConfig& config) {
    return 7 + 2 * size_t{AddressBytes(config.addressWidth)} + CauseBytes(config.causeWidth) +
           IoaBytes(config.ioaWidth);
}

}  // namespace

size_t DelayAcknowledgementLength(const LinkConfig& config) {
    return AddressBytes(config.addressWidth) == 1 ? 5 : 6;
}

bool IsDelayAcknowledgement(std::span<const uint8_t> bytes, const LinkConfig& config) {
    return bytes.size() == DelayAcknowledgementLength(config) && bytes[0] == kFixedStart &&
           bytes[1] == 0x00;
}

size_t DelayConfirmationLength(const LinkConfig& config) {
    return TimeOffset(config) + 4;  // the time, the checksum, the end byte
}

std::optional<uint16_t> ReturnedDelayTime(std::span<const uint8_t> frame,
                                          const LinkConfig& config) {
    const size_t length = DelayConfirmationLength(config);
    if (frame.size() != length || frame[0] != kVariableStart || frame[length - 1] != kFrameEnd) {
        return std::nullopt;
    }
    // The checksum covers the bytes from the control field to the end of the ASDU.
    if (FrameChecksum(frame.subspan(4, length - 6)) != frame[length - 2]) {
        return std::nullopt;
    }
    const size_t at = TimeOffset(config);
    const uint32_t returned = frame[at] | uint32_t{frame[at + 1]} << 8;
    if (returned == 0 || returned >= kMsPerMinute) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(returned);
}

uint16_t OneWayDelayMs(uint32_t arrivalMs, uint16_t returnedMs) {
    const uint32_t arrival = arrivalMs < returnedMs ? arrivalMs + kMsPerMinute : arrivalMs;
    return static_cast<uint16_t>((arrival - returnedMs) / 2);
}
