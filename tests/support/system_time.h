// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/calendar.h"
#include "platform/clock.h"

// A calendar time with its weekday as the calendar gives it.
inline SystemTime Time(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute,
                       uint16_t second, uint16_t milliseconds) {
    SystemTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.milliseconds = milliseconds;
    t.dayOfWeek = CalendarFromUnixMs(UnixMsFromCalendar(t)).dayOfWeek;
    return t;
}
