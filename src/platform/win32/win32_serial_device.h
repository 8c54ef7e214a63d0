// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/line_settings.h"
#include "platform/serial_device.h"
#include "platform/win32/comm_port.h"

// A COM port of Windows: "COM5" opens \\.\COM5 (so COM10 and above work), exclusively, without
// overlapped I/O; the line is set through the device-control block, every field the settings
// do not name kept as the port has it; reads take what has arrived without waiting. The modem
// lines are set through the block too (a port without them, such as Wine's pseudo-terminal,
// is no failure).
class Win32SerialDevice : public SerialDevice {
  public:
    Win32SerialDevice() = default;
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    // False when the port is missing, held by another program, or this device already has a
    // port open; LastOpenError then holds the system's error code.
    bool Open(const std::string& portName) override;
    void Close() override;
    bool IsOpen() const override { return port_ != nullptr; }

    bool GetLine(LineSettings& settings) override;
    // The baud rate goes to the driver as it is (64000 and 76800 too); invalid codes are
    // refused without touching the port.
    bool SetLine(const LineSettings& settings) override;

    // The received bytes queued in the driver (this clears the line's error flags).
    size_t QueuedCount() override;
    // At most the queued count and at most maxCount bytes.
    size_t Read(uint8_t* buffer, size_t maxCount) override;
    bool Write(const uint8_t* data, size_t count) override;
    bool WaitTransmitEmpty(uint32_t timeoutMs) override;

    unsigned long LastOpenError() const { return lastOpenError_; }
    // From LastOpenError: a missing port (file or path not found), one in use (access denied,
    // sharing violation, busy: Windows refuses a port another program holds with access
    // denied), anything else with the system's text of the error.
    OpenFailure LastOpenFailure() const override;

  private:
    CommHandle port_ = nullptr;
    unsigned long lastOpenError_ = 0;
};
