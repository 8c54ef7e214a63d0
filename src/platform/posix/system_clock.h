// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/clock.h"

// The real clock of a POSIX system: the monotonic clock for the tick count and the waits, the
// realtime clock and the process's time zone for the calendar.
class SystemClock : public Clock {
  public:
    // Milliseconds of CLOCK_MONOTONIC, truncated to 32 bits (wraps after about 49.7 days).
    uint32_t TickCount() override;
    uint64_t MonotonicMicroseconds() override;
    // Sleeps the whole time, also when a signal interrupts it.
    void Sleep(uint32_t milliseconds) override;
    void Yield() override;
    SystemTime UtcTime() override;
    // Local time of the zone the process has now (TZ or /etc/localtime, read again each call).
    SystemTime LocalTime() override;
};
