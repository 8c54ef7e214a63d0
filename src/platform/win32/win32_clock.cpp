// SPDX-License-Identifier: MIT
#include "platform/win32/win32_clock.h"

#include "platform/win32/windows_api.h"

#include <mmsystem.h>

namespace {

SystemTime FromSystemTime(const SYSTEMTIME& t) {
    SystemTime time;
    time.year = t.wYear;
    time.month = t.wMonth;
    time.dayOfWeek = t.wDayOfWeek;
    time.day = t.wDay;
    time.hour = t.wHour;
    time.minute = t.wMinute;
    time.second = t.wSecond;
    time.milliseconds = t.wMilliseconds;
    return time;
}

}  // namespace

uint32_t Win32Clock::TickCount() {
    return GetTickCount();
}

uint64_t Win32Clock::MonotonicMicroseconds() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    const auto perSecond = static_cast<uint64_t>(frequency.QuadPart);
    const auto count = static_cast<uint64_t>(counter.QuadPart);
    // Whole seconds and the remainder apart, so that the product cannot overflow.
    return count / perSecond * 1'000'000 + count % perSecond * 1'000'000 / perSecond;
}

void Win32Clock::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

void Win32Clock::Yield() {
    ::Sleep(0);
}

SystemTime Win32Clock::UtcTime() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return FromSystemTime(now);
}

SystemTime Win32Clock::LocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return FromSystemTime(now);
}

void Win32Clock::BeginTimerResolution(uint32_t milliseconds) {
    timeBeginPeriod(milliseconds);
}

void Win32Clock::EndTimerResolution(uint32_t milliseconds) {
    timeEndPeriod(milliseconds);
}
