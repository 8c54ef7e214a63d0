// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/clock.h"

// The clock of Windows: the tick count and Sleep, the system timer's resolution (winmm), the
// system time as UTC and as local time (day of the week 0 = Sunday, as the system gives it).
class Win32Clock : public Clock {
  public:
    uint32_t TickCount() override;
    uint64_t MonotonicMicroseconds() override;
    void Sleep(uint32_t milliseconds) override;
    // Sleep(0): the rest of the time slice to any thread that is ready.
    void Yield() override;
    SystemTime UtcTime() override;
    SystemTime LocalTime() override;
    // timeBeginPeriod and timeEndPeriod: each Begin must be matched by an End of the same value.
    void BeginTimerResolution(uint32_t milliseconds) override;
    void EndTimerResolution(uint32_t milliseconds) override;
};
