// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/line_settings.h"
#include "platform/serial_device.h"

// A serial port of a POSIX system (Linux): a tty device opened exclusively, set through the
// termios2 ioctls, read without ever waiting. Errors are reported through the results, never
// thrown; a device that vanished while open (unplugged, far side of a pty closed) gives reads
// of 0 and failed writes until it is closed.
class PosixSerialDevice : public SerialDevice {
  public:
    PosixSerialDevice() = default;
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    // "ttyUSB0" opens /dev/ttyUSB0, an absolute path opens as it is. The port must be a
    // terminal and not held by another opener (TIOCEXCL for other users, an exclusive flock
    // for everyone, root included). False when it is missing, not a terminal, in use, not
    // accessible, or this device already has a port open; LastOpenError then tells why.
    bool Open(const std::string& portName) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    // Baud rate, data bits, parity and stop bits as the driver reports them (a pseudo-terminal
    // always reports 8 data bits and no parity), and the modem lines as last set where the
    // port cannot report them.
    bool GetLine(LineSettings& settings) override;
    // Raw line at the given settings; DTR and RTS as the settings say (a port without modem
    // lines, such as a pseudo-terminal, is not a failure). 1.5 stop bits and invalid codes are
    // refused, and so is a baud rate the driver cannot make.
    bool SetLine(const LineSettings& settings) override;

    size_t QueuedCount() override;
    size_t Read(uint8_t* buffer, size_t maxCount) override;
    // Writes all of the block. When the driver's buffer stays full for the write timeout (see
    // SetWriteTimeout), or the device fails, returns false.
    bool Write(const uint8_t* data, size_t count) override;
    bool WaitTransmitEmpty(uint32_t timeoutMs) override;

    // The errno value of the last failed Open (EBUSY when the port is in use, EACCES when it
    // may not be opened, ENOENT when it is missing, ENOTTY when it is not a terminal); 0 after
    // a successful one.
    int LastOpenError() const { return lastOpenError_; }
    // The same for the user: a missing device (ENOENT, ENODEV, ENXIO), one in use (EBUSY), one
    // not permitted (EACCES, EPERM; with the device file's group when it may read and write,
    // and this process's user), anything else with the system's text of the error.
    OpenFailure LastOpenFailure() const override { return lastOpenFailure_; }

    // How long a write may wait for room in the driver's buffer without any progress. 0 (the
    // default) means long enough for a full driver buffer to drain at the current baud rate.
    void SetWriteTimeout(uint32_t milliseconds) { writeTimeoutMs_ = milliseconds; }

    // The device path a port name stands for.
    static std::string DevicePath(const std::string& portName);

  private:
    int StallTimeoutMs() const;

    int fd_ = -1;
    int lastOpenError_ = 0;
    OpenFailure lastOpenFailure_;
    uint32_t writeTimeoutMs_ = 0;
    uint32_t baudRate_ = 9600;
    bool dtrOn_ = false;
    bool rtsOn_ = true;
};
