// SPDX-License-Identifier: MIT
#include "platform/calendar.h"

namespace {

constexpr int64_t kMsPerDay = 86'400'000;

// Days since 1970-01-01 of a civil date, and back (Howard Hinnant's algorithms).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

}  // namespace

SystemTime CalendarFromUnixMs(int64_t unixMs) {
    int64_t days = unixMs / kMsPerDay;
    int64_t msOfDay = unixMs % kMsPerDay;
    if (msOfDay < 0) {
        msOfDay += kMsPerDay;
        --days;
    }
    int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    SystemTime t;
    t.year = static_cast<uint16_t>(year);
    t.month = static_cast<uint16_t>(month);
    t.day = static_cast<uint16_t>(day);
    // 1970-01-01 was a Thursday (4).
    t.dayOfWeek = static_cast<uint16_t>(((days % 7) + 7 + 4) % 7);
    t.hour = static_cast<uint16_t>(msOfDay / 3'600'000);
    t.minute = static_cast<uint16_t>(msOfDay / 60'000 % 60);
    t.second = static_cast<uint16_t>(msOfDay / 1000 % 60);
    t.milliseconds = static_cast<uint16_t>(msOfDay % 1000);
    return t;
}

int64_t UnixMsFromCalendar(const SystemTime& t) {
    const int64_t days = DaysFromCivil(t.year, t.month, t.day);
    return days * kMsPerDay + int64_t{t.hour} * 3'600'000 + int64_t{t.minute} * 60'000 +
           int64_t{t.second} * 1000 + t.milliseconds;
}
