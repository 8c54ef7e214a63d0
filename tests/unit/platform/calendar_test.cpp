// SPDX-License-Identifier: MIT
#include "platform/calendar.h"

#include <gtest/gtest.h>

TEST(Calendar, KnownDatesAndWeekdays) {
    // 2024-03-13 12:00:00.250 UTC was a Wednesday.
    const SystemTime t = CalendarFromUnixMs(1'710'331'200'250);
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 13);
    EXPECT_EQ(t.dayOfWeek, 3);
    EXPECT_EQ(t.hour, 12);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(t.second, 0);
    EXPECT_EQ(t.milliseconds, 250);

    const SystemTime epoch = CalendarFromUnixMs(0);
    EXPECT_EQ(epoch.year, 1970);
    EXPECT_EQ(epoch.dayOfWeek, 4);  // Thursday

    // A leap day and a Sunday.
    const SystemTime leap = CalendarFromUnixMs(1'709'164'800'000);  // 2024-02-29 00:00
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
    const SystemTime sunday = CalendarFromUnixMs(1'710'633'600'000);  // 2024-03-17
    EXPECT_EQ(sunday.dayOfWeek, 0);
}

TEST(Calendar, RoundTripsAcrossCenturiesAndMidnight) {
    for (int64_t ms : {int64_t{0}, int64_t{951'782'400'000}, int64_t{4'102'444'799'999},
                       int64_t{1'710'374'399'999}, int64_t{-86'400'000}}) {
        EXPECT_EQ(UnixMsFromCalendar(CalendarFromUnixMs(ms)), ms) << ms;
    }
}
