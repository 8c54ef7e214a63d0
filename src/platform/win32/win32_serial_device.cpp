// SPDX-License-Identifier: MIT
#include "platform/win32/win32_serial_device.h"

#include <algorithm>

#include "platform/win32/windows_api.h"

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
