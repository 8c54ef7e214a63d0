// SPDX-License-Identifier: MIT
#include "platform/virtual/virtual_clock.h"

#include <algorithm>

#include "platform/calendar.h"

VirtualClock::VirtualClock(uint32_t tickOrigin, int64_t unixMsAtStart, int32_t localOffsetMinutes)
    : tickOrigin_(tickOrigin),
      unixMsAtStart_(unixMsAtStart),
      localOffsetMinutes_(localOffsetMinutes) {}

uint32_t VirtualClock::TickCount() {
    return static_cast<uint32_t>(tickOrigin_ + nowUs_ / 1000);
}

void VirtualClock::Sleep(uint32_t milliseconds) {
    ++sleepCount_;
    AdvanceUs(uint64_t{milliseconds} * 1000);
}

void VirtualClock::Yield() {
    AdvanceUs(yieldStepUs_);
}

SystemTime VirtualClock::UtcTime() {
    return CalendarFromUnixMs(unixMsAtStart_ + static_cast<int64_t>(nowUs_ / 1000));
}

SystemTime VirtualClock::LocalTime() {
    return CalendarFromUnixMs(unixMsAtStart_ + static_cast<int64_t>(nowUs_ / 1000) +
                              int64_t{localOffsetMinutes_} * 60'000);
}

void VirtualClock::BeginTimerResolution(uint32_t) {
    ++timerResolutionDepth_;
}

void VirtualClock::EndTimerResolution(uint32_t) {
    --timerResolutionDepth_;
}

void VirtualClock::AdvanceUs(uint64_t microseconds) {
    AdvanceToUs(nowUs_ + microseconds);
}

void VirtualClock::AdvanceToUs(uint64_t timeUs) {
    if (timeUs > nowUs_) {
        nowUs_ = timeUs;
    }
    // A listener that itself advances the clock must not recurse into the listeners.
    if (notifying_) {
        return;
    }
    notifying_ = true;
    const auto snapshot = listeners_;
    for (const auto& [id, listener] : snapshot) {
        listener(nowUs_);
    }
    notifying_ = false;
}

int VirtualClock::AddListener(Listener listener) {
    const int id = nextListenerId_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void VirtualClock::RemoveListener(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}
