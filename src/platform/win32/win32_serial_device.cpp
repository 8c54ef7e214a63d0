// SPDX-License-Identifier: MIT
#include "platform/win32/win32_serial_device.h"

#include <algorithm>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace {

// The system's own text of an error code, on one line; empty when it has none.
std::string SystemErrorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    LocalFree(buffer);
    for (wchar_t& c : text) {
        if (c == L'\r' || c == L'\n') {
            c = L' ';
        }
    }
    while (!text.empty() && text.back() == L' ') {
        text.pop_back();
    }
    if (text.empty()) {
        return "Ошибка " + std::to_string(error);
    }
    return Utf8FromWide(text).value_or("Ошибка " + std::to_string(error));
}

}  // namespace

Win32SerialDevice::~Win32SerialDevice() {
    Close();
}

bool Win32SerialDevice::Open(const std::string& portName) {
    if (port_ != nullptr) {
        lastOpenError_ = ERROR_BUSY;
        return false;
    }
    port_ = OpenCommPort(portName, lastOpenError_);
    return port_ != nullptr;
}

OpenFailure Win32SerialDevice::LastOpenFailure() const {
    OpenFailure failure;
    switch (lastOpenError_) {
        case ERROR_SUCCESS:
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            failure.kind = OpenFailure::Kind::kNoSuchPort;
            break;
        // A port held by another program is refused with access denied.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            failure.kind = OpenFailure::Kind::kBusy;
            break;
        default:
            failure.kind = OpenFailure::Kind::kOther;
            failure.detail = SystemErrorText(lastOpenError_);
            break;
    }
    return failure;
}

void Win32SerialDevice::Close() {
    CloseCommPort(port_);
    port_ = nullptr;
}

bool Win32SerialDevice::GetLine(LineSettings& settings) {
    return ReadCommLine(port_, settings);
}

bool Win32SerialDevice::SetLine(const LineSettings& settings) {
    return WriteCommLine(port_, settings);
}

size_t Win32SerialDevice::QueuedCount() {
    size_t received = 0;
    size_t unsent = 0;
    return CommQueues(port_, received, unsent) ? received : 0;
}

size_t Win32SerialDevice::Read(uint8_t* buffer, size_t maxCount) {
    const size_t queued = QueuedCount();
    bool failed = false;
    return ReadCommBytes(port_, buffer, std::min(queued, maxCount), failed);
}

bool Win32SerialDevice::Write(const uint8_t* data, size_t count) {
    return WriteCommBytes(port_, data, count);
}

bool Win32SerialDevice::WaitTransmitEmpty(uint32_t timeoutMs) {
    return port_ != nullptr && WaitCommTransmitEmpty(port_, timeoutMs);
}
