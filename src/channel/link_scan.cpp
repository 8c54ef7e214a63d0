// SPDX-License-Identifier: MIT
// The link-settings scan of SerialChannel: a transducer of unknown line settings is woken by
// three zero bytes sent at its own settings, and then answers at 19200,E,8,1.

#include <algorithm>
#include <array>

#include "channel/serial_channel.h"

namespace {

// The settings at which the wake-up is tried, in order (the last repeats 9600,N,8,1).
constexpr std::array<const char*, 9> kCandidateModes = {"76800,N,8,1", "4800,N,8,1",  "9600,N,8,1",
                                                        "19200,N,8,1", "38400,N,8,1", "64000,N,8,1",
                                                        "64000,E,8,1", "76800,E,8,1", "9600,N,8,1"};

constexpr uint32_t kListenMs = 250;  // listening for traffic before the first wake-up
constexpr uint32_t kDrainMs = 500;   // longest drain of that traffic
constexpr uint32_t kDrainStepMs = 25;
constexpr uint32_t kProbeWaitMs = 100;  // wait for the answer after a wake-up
constexpr size_t kAnswerTail = 8;       // bytes of an answer that make up the result

}  // namespace

void SerialChannel::SendWakeUp() {
    const uint8_t zero = 0;
    traffic_.SetKind(FrameKind::kWakeUp);
    clock_.Yield();
    WriteBytes(&zero, 1);
    clock_.Sleep(75);
    WriteBytes(&zero, 1);
    clock_.Sleep(200);
    WriteBytes(&zero, 1);
}

uint16_t SerialChannel::ProbeAnswer(std::span<uint8_t> buffer) {
    SendWakeUp();
    ApplyMode(kListeningMode);
    clock_.Sleep(kProbeWaitMs);
    size_t n = ReadAvailable(buffer.data(), buffer.size());
    if (n == 0) {
        return kNotHeard;
    }
    if (n < kAnswerTail) {
        // A short answer may be noise or a transducer just waking: wake it once more, now at the
        // listening line, and take the second answer instead.
        SendWakeUp();
        clock_.Sleep(kProbeWaitMs);
        n = ReadAvailable(buffer.data(), buffer.size());
        if (n == 0) {
            return kNotHeard;
        }
    }
    const size_t tail = std::min(n, kAnswerTail);
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(n - tail),
              buffer.begin() + static_cast<std::ptrdiff_t>(n), buffer.begin());
    uint16_t result = static_cast<uint16_t>(buffer[0] << 8);
    if (tail > 1) {
        result = static_cast<uint16_t>(result + static_cast<int8_t>(buffer[1]));
    }
    return result;
}

uint16_t SerialChannel::ScanLinkSettings() {
    std::vector<uint8_t> buffer(kScanBufferSize);
    traffic_.SetKind(FrameKind::kWakeUp);
    ApplyMode(kCandidateModes[0]);
    clock_.BeginTimerResolution(1);

    // Whatever is already on the line would be taken for an answer: listen for it, then drain it.
    bool traffic = false;
    const uint32_t listenStart = clock_.TickCount();
    do {
        if (ReadAvailable(buffer.data(), buffer.size()) > 0) {
            traffic = true;
            break;
        }
        // A millisecond's sleep, not a yield: on an idle machine a yield returns at once, and
        // the quarter second of listening would keep a core busy.
        clock_.Sleep(1);
    } while (static_cast<uint32_t>(clock_.TickCount() - listenStart) < kListenMs);
    if (traffic) {
        const uint32_t drainStart = clock_.TickCount();
        size_t n = 0;
        do {
            clock_.Sleep(kDrainStepMs);
            n = ReadAvailable(buffer.data(), buffer.size());
        } while (n > 0 && static_cast<uint32_t>(clock_.TickCount() - drainStart) < kDrainMs);
    }

    uint16_t result = ProbeAnswer(buffer);
    for (size_t i = 1; i < kCandidateModes.size() && result == kNotHeard; ++i) {
        ApplyMode(kCandidateModes[i]);
        result = ProbeAnswer(buffer);
    }

    clock_.EndTimerResolution(1);
    if (result != kNotHeard) {
        ApplyMode(kListeningMode);
    }
    return result;
}
