// SPDX-License-Identifier: MIT
#include "iec101/iec101_commands.h"

std::array<uint8_t, 7> EncodeCp56Time2a(const SystemTime& time) {
    const auto ms = static_cast<uint16_t>(time.second * 1000 + time.milliseconds);
    const int weekday = time.dayOfWeek == 0 ? 7 : time.dayOfWeek;
    return {
        static_cast<uint8_t>(ms & 0xFF),
        static_cast<uint8_t>(ms >> 8),
        static_cast<uint8_t>(time.minute & 0x3F),
        static_cast<uint8_t>(time.hour & 0x1F),
        static_cast<uint8_t>((time.day & 0x1F) | ((weekday & 0x07) << 5)),
        static_cast<uint8_t>(time.month & 0x0F),
        static_cast<uint8_t>(time.year - 2000),
    };
}

std::vector<uint8_t> BuildCommandAsdu(uint8_t type, uint8_t cause, uint16_t commonAddress,
                                      uint32_t ioa, const LinkConfig& config,
                                      const std::vector<uint8_t>& element) {
    std::vector<uint8_t> asdu{type, 0x01, cause};
    if (CauseBytes(config.causeWidth) != 1) {
        asdu.push_back(kOriginatorAddress);
    }
    asdu.push_back(static_cast<uint8_t>(commonAddress & 0xFF));
    if (AddressBytes(config.addressWidth) != 1) {
        asdu.push_back(static_cast<uint8_t>(commonAddress >> 8));
    }
    const uint8_t ioaBytes = IoaBytes(config.ioaWidth);
    for (uint8_t i = 0; i < ioaBytes; ++i) {
        asdu.push_back(static_cast<uint8_t>((ioa >> (8 * i)) & 0xFF));
    }
    asdu.insert(asdu.end(), element.begin(), element.end());
    return asdu;
}

namespace {

uint8_t WithFcb(uint8_t control, uint8_t fcb) {
    return fcb != 0 ? static_cast<uint8_t>(control | kControlFcb) : control;
}

std::vector<uint8_t> Le16(uint16_t value) {
    return {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
}

}  // namespace

std::vector<uint8_t> BuildInterrogationFrame(uint8_t fcb, uint16_t linkAddress, uint32_t ioa,
                                             const LinkConfig& config) {
    const auto qoi = static_cast<uint8_t>(20 + config.group);
    return BuildVariableFrame(
        WithFcb(kControlUserData, fcb), linkAddress, config,
        BuildCommandAsdu(kTypeInterrogation, config.commandCause, linkAddress, ioa, config, {qoi}));
}

std::vector<uint8_t> BuildReadFrame(uint8_t fcb, uint16_t linkAddress, uint32_t ioa,
                                    const LinkConfig& config) {
    return BuildVariableFrame(
        WithFcb(kControlClass2, fcb), linkAddress, config,
        BuildCommandAsdu(kTypeRead, config.commandCause, linkAddress, ioa, config, {}));
}

std::vector<uint8_t> BuildClockSyncFrame(uint8_t fcb, uint16_t linkAddress,
                                         const LinkConfig& config, const SystemTime& time) {
    const auto tag = EncodeCp56Time2a(time);
    return BuildVariableFrame(WithFcb(kControlUserData, fcb), linkAddress, config,
                              BuildCommandAsdu(kTypeClockSync, 6, linkAddress, 0, config,
                                               std::vector<uint8_t>(tag.begin(), tag.end())));
}

std::vector<uint8_t> BuildDelayActivationFrame(uint8_t fcb, uint16_t linkAddress,
                                               const LinkConfig& config, uint16_t sendTimeMs) {
    return BuildVariableFrame(
        WithFcb(kControlUserData, fcb), linkAddress, config,
        BuildCommandAsdu(kTypeDelayAcquisition, 6, linkAddress, 0, config, Le16(sendTimeMs)));
}

std::vector<uint8_t> BuildDelayTransferFrame(uint8_t fcb, uint16_t linkAddress,
                                             const LinkConfig& config, uint16_t delayMs) {
    return BuildVariableFrame(
        WithFcb(kControlUserData, fcb), linkAddress, config,
        BuildCommandAsdu(kTypeDelayAcquisition, 3, linkAddress, 0, config, Le16(delayMs)));
}

SystemTime ReadClockAtSecondStart(Clock& clock, bool useLocalTime) {
    SystemTime t = useLocalTime ? clock.LocalTime() : clock.UtcTime();
    while (t.milliseconds > 10) {
        clock.Yield();
        t = useLocalTime ? clock.LocalTime() : clock.UtcTime();
    }
    return t;
}
