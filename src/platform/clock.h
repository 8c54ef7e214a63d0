// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// A calendar reading with milliseconds, as the system clock gives it.
struct SystemTime {
    uint16_t year = 0;
    uint16_t month = 0;      // 1 to 12
    uint16_t dayOfWeek = 0;  // 0 = Sunday, 1 = Monday, ..., 6 = Saturday
    uint16_t day = 0;        // 1 to 31
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;

    friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

// All time the programs use: the millisecond tick count, the blocking waits and the calendar.
// The real programs use the system clock; tests use a virtual clock that waits take no time on.
class Clock {
  public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary start; wraps around at 2^32.
    virtual uint32_t TickCount() = 0;
    // Microseconds since an arbitrary start, never going back; for time stamps finer than a tick.
    virtual uint64_t MonotonicMicroseconds() = 0;
    // Blocks the calling thread for the given milliseconds.
    virtual void Sleep(uint32_t milliseconds) = 0;
    // Gives the rest of the time slice to other threads (a pause of 0 ms).
    virtual void Yield() = 0;
    // The current time as UTC and as local time.
    virtual SystemTime UtcTime() = 0;
    virtual SystemTime LocalTime() = 0;
    // Asks for a finer system timer resolution while a timing-critical exchange runs, and gives
    // it back. No-ops where the platform has no such setting.
    virtual void BeginTimerResolution(uint32_t /*milliseconds*/) {}
    virtual void EndTimerResolution(uint32_t /*milliseconds*/) {}
};
