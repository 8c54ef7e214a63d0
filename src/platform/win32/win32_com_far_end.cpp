// SPDX-License-Identifier: MIT
#include "platform/win32/win32_com_far_end.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/win32/wide_text.h"

#include "platform/win32/windows_api.h"

namespace {

// How long Listen lets the transmitter empty before it changes the line.
constexpr uint32_t kDrainMs = 2000;

}  // namespace

std::string Win32ErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::optional<std::string> utf8;
    if (length > 0 && text != nullptr) {
        std::wstring_view message(text, length);
        while (!message.empty() &&
               (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
            message.remove_suffix(1);
        }
        utf8 = Utf8FromWide(message);
    }
    LocalFree(text);
    const std::string number = "system error " + std::to_string(code);
    return utf8 && !utf8->empty() ? *utf8 + " (" + number + ")" : number;
}

Win32ComFarEnd::~Win32ComFarEnd() {
    Close();
}

unsigned long Win32ComFarEnd::Open(const std::string& portName) {
    Close();
    unsigned long error = 0;
    CommHandle port = OpenCommPort(portName, error);
    if (port == nullptr) {
        return error;
    }
    if (!WriteCommLine(port, listening_)) {
        error = GetLastError();
        CloseCommPort(port);
        return error != ERROR_SUCCESS ? error : static_cast<unsigned long>(ERROR_INVALID_PARAMETER);
    }
    port_ = port;
    broken_ = false;
    return ERROR_SUCCESS;
}

void Win32ComFarEnd::Close() {
    CloseCommPort(port_);
    port_ = nullptr;
}

uint64_t Win32ComFarEnd::NowUs() {
    static const uint64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<uint64_t>(std::max<LONGLONG>(f.QuadPart, 1));
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
    return ticks / frequency * 1'000'000 + ticks % frequency * 1'000'000 / frequency;
}

bool Win32ComFarEnd::WaitReadable(uint32_t timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        size_t received = 0;
        size_t unsent = 0;
        if (port_ == nullptr || broken_) {
            Sleep(timeoutMs);
            return false;
        }
        if (!CommQueues(port_, received, unsent)) {
            broken_ = true;
            return false;
        }
        if (received > 0) {
            return true;
        }
        if (GetTickCount64() - start >= timeoutMs) {
            return false;
        }
        Sleep(1);
    }
}

size_t Win32ComFarEnd::Read(uint8_t* buffer, size_t maxCount) {
    size_t received = 0;
    size_t unsent = 0;
    if (!CommQueues(port_, received, unsent)) {
        broken_ = port_ != nullptr;
        return 0;
    }
    bool failed = false;
    const size_t got = ReadCommBytes(port_, buffer, std::min(received, maxCount), failed);
    broken_ = broken_ || failed;
    return got;
}

bool Win32ComFarEnd::Write(const uint8_t* data, size_t count) {
    if (WriteCommBytes(port_, data, count)) {
        return true;
    }
    size_t received = 0;
    size_t unsent = 0;
    broken_ = port_ != nullptr && !CommQueues(port_, received, unsent);
    return false;
}

bool Win32ComFarEnd::Listen(const LineSettings& settings) {
    if (port_ == nullptr) {
        listening_ = settings;
        return true;
    }
    // A new rate while the transmitter still shifts out the last answer would garble it.
    WaitCommTransmitEmpty(port_, kDrainMs);
    if (!WriteCommLine(port_, settings)) {
        return false;
    }
    listening_ = settings;
    return true;
}
