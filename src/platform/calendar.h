// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/clock.h"

// Conversions between a calendar reading and milliseconds since 1970-01-01 00:00:00 (proleptic
// Gregorian calendar, no leap seconds). Pure functions, independent of the process time zone.
SystemTime CalendarFromUnixMs(int64_t unixMs);
int64_t UnixMsFromCalendar(const SystemTime& time);
