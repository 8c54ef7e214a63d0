// SPDX-License-Identifier: MIT
// The transfer-delay measurement's exchanges (delay acquisition, type 106).

#include "polling/transfer_delay.h"

#include <array>
#include <optional>
#include <vector>

#include "iec101/delay_confirmation.h"

namespace {

constexpr size_t kAssemblyBufferSize = 32;
constexpr uint32_t kConfirmationWaitMs = 500;

// Milliseconds within the minute on the local clock, 0 to 59999.
uint32_t MsOfMinute(Clock& clock) {
    const SystemTime t = clock.LocalTime();
    return t.second * 1000u + t.milliseconds;
}

}  // namespace

uint16_t TransferDelayExchange::Acquire(uint16_t linkAddress, const LinkConfig& lc) {
    master_.SetPort(channel_);
    const auto sendTime = static_cast<uint16_t>(MsOfMinute(clock_));
    master_.WriteFrame(master_.BuildDelayActivation(linkAddress, lc, sendTime));
    clock_.Sleep(350);

    // The activation must be acknowledged with a fixed frame 10 00 A CS 16. Anything queued
    // beyond such a frame makes it something else, so at most one byte more is read.
    std::vector<uint8_t> ack(DelayAcknowledgementLength(lc) + 1);
    ack.resize(channel_.ReadAvailable(ack.data(), ack.size()));
    if (!IsDelayAcknowledgement(ack, lc)) {
        return 0;
    }
    master_.RequestClass2Data(linkAddress, lc);
    channel_.WaitTransmitEmpty(150);

    const size_t expected = DelayConfirmationLength(lc);
    // The assembly buffer holds 32 bytes; a confirmation that does not fit is wrong anyway.
    std::array<uint8_t, kAssemblyBufferSize> assembly{};
    size_t collected = 0;
    bool overrun = false;
    std::optional<uint32_t> arrival;
    const uint32_t t0 = MsOfMinute(clock_);
    for (;;) {
        if (collected < assembly.size()) {
            collected +=
                channel_.ReadAvailable(assembly.data() + collected, assembly.size() - collected);
        } else {
            uint8_t extra = 0;
            overrun |= channel_.ReadAvailable(&extra, 1) != 0;
        }
        clock_.Yield();
        const uint32_t reading = MsOfMinute(clock_);
        const uint32_t now = reading < t0 ? reading + 60000 : reading;
        const bool timedOut = now - t0 > kConfirmationWaitMs;
        if (collected > 0 && !arrival) {
            arrival = reading;
        }
        clock_.Yield();
        if (collected == expected || collected > expected || overrun || timedOut) {
            break;
        }
    }
    if (collected != expected || overrun || !arrival) {
        return 0;
    }
    const std::optional<uint16_t> returned =
        ReturnedDelayTime(std::span<const uint8_t>(assembly.data(), collected), lc);
    return returned ? OneWayDelayMs(*arrival, *returned) : 0;
}

void TransferDelayExchange::Transfer(uint16_t linkAddress, const LinkConfig& lc, uint16_t delayMs) {
    master_.WriteFrame(master_.BuildDelayTransfer(linkAddress, lc, delayMs));
    channel_.WaitTransmitEmpty(150);
    clock_.Sleep(350);
    std::array<uint8_t, 256> drop{};
    while (channel_.ReadAvailable(drop.data(), drop.size()) != 0) {
    }
}
