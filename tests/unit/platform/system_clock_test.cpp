// SPDX-License-Identifier: MIT
// The real clock. The waits here are real but tiny.
#include "platform/posix/system_clock.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <optional>
#include <string>

#include "platform/calendar.h"

namespace {

int64_t NowUnixMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool Plausible(const SystemTime& t) {
    return t.year >= 2020 && t.year < 2200 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= 31 && t.hour < 24 && t.minute < 60 && t.second < 60 && t.milliseconds < 1000 &&
           t.dayOfWeek < 7;
}

// Sets TZ for the test's duration and puts the old value back.
class ZoneOverride {
  public:
    explicit ZoneOverride(const char* zone) {
        if (const char* old = getenv("TZ")) {
            old_ = old;
        }
        setenv("TZ", zone, 1);
    }
    ~ZoneOverride() {
        if (old_) {
            setenv("TZ", old_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::optional<std::string> old_;
};

}  // namespace

TEST(SystemClock, TickCountAdvancesAcrossASleep) {
    SystemClock clock;
    const uint32_t before = clock.TickCount();
    clock.Sleep(20);
    const uint32_t elapsed = clock.TickCount() - before;  // wraps like the tick count
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 2000u);
    clock.Yield();
    clock.Sleep(0);
    clock.BeginTimerResolution(1);
    clock.EndTimerResolution(1);
}

TEST(SystemClock, UtcTimeIsTheSystemTime) {
    SystemClock clock;
    const int64_t before = NowUnixMs();
    const SystemTime utc = clock.UtcTime();
    const int64_t after = NowUnixMs();
    ASSERT_TRUE(Plausible(utc));
    const int64_t ms = UnixMsFromCalendar(utc);
    EXPECT_GE(ms, before);
    EXPECT_LE(ms, after);
    EXPECT_EQ(utc.dayOfWeek, CalendarFromUnixMs(ms).dayOfWeek);
}

TEST(SystemClock, LocalTimeFollowsTheZone) {
    struct Case {
        const char* zone;
        int64_t offsetMs;
    };
    const Case cases[] = {
        {"UTC0", 0}, {"<+05>-5", 5 * 3'600'000}, {"<-0330>3:30", -(3 * 3'600'000 + 30 * 60'000)}};
    SystemClock clock;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ZoneOverride zone(c.zone);
        const SystemTime utc = clock.UtcTime();
        const SystemTime local = clock.LocalTime();
        ASSERT_TRUE(Plausible(local));
        const int64_t difference = UnixMsFromCalendar(local) - UnixMsFromCalendar(utc);
        EXPECT_GE(difference, c.offsetMs);
        EXPECT_LT(difference, c.offsetMs + 1000);
        EXPECT_EQ(local.dayOfWeek, CalendarFromUnixMs(UnixMsFromCalendar(local)).dayOfWeek);
    }
}
