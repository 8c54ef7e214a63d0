// SPDX-License-Identifier: MIT
#include "platform/posix/system_clock.h"

#include <errno.h>
#include <sched.h>
#include <time.h>

namespace {

SystemTime FromTm(const tm& fields, long nanoseconds) {
    SystemTime t;
    t.year = static_cast<uint16_t>(fields.tm_year + 1900);
    t.month = static_cast<uint16_t>(fields.tm_mon + 1);
    t.dayOfWeek = static_cast<uint16_t>(fields.tm_wday);
    t.day = static_cast<uint16_t>(fields.tm_mday);
    t.hour = static_cast<uint16_t>(fields.tm_hour);
    t.minute = static_cast<uint16_t>(fields.tm_min);
    // A leap second (60) is shown as the last second of the minute.
    t.second = static_cast<uint16_t>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
    t.milliseconds = static_cast<uint16_t>(nanoseconds / 1'000'000);
    return t;
}

timespec RealtimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

}  // namespace

uint32_t SystemClock::TickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1'000'000;
    return static_cast<uint32_t>(ms);
}

uint64_t SystemClock::MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000 +
           static_cast<uint64_t>(now.tv_nsec) / 1000;
}

void SystemClock::Sleep(uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1'000'000};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

void SystemClock::Yield() {
    sched_yield();
}

SystemTime SystemClock::UtcTime() {
    const timespec now = RealtimeNow();
    tm fields{};
    gmtime_r(&now.tv_sec, &fields);
    return FromTm(fields, now.tv_nsec);
}

SystemTime SystemClock::LocalTime() {
    // localtime_r need not look at the zone again; tzset makes a changed TZ take effect.
    tzset();
    const timespec now = RealtimeNow();
    tm fields{};
    localtime_r(&now.tv_sec, &fields);
    return FromTm(fields, now.tv_nsec);
}
