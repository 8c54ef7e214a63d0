#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/line_settings.h"
#include "platform/serial_device.h"

// The one serial port through which the programs talk to the transducer: opened by name, set
// from a mode string ("19200,E,8,1"), read without waiting, written in blocks. It knows no
// protocol; the Modbus exchanges and the link-settings scan are built on it, and the
// IEC 60870-5-101 master uses the same open port.
class SerialChannel {
public:
    SerialChannel(SerialDevice& device, Clock& clock);
    ~SerialChannel();
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    // Opens the port; does not close one already open and does not touch the line settings.
    bool OpenPort(const std::string& name);
    void ClosePort();
    bool IsOpen() const { return device_.IsOpen(); }

    // Reads the port's settings, applies the mode string to them and sets the port.
    // False when the port is not open (checked before the string) or rejects the settings.
    // Throws std::invalid_argument for a string with fewer than two commas.
    bool ApplyMode(const std::string& modeString);

    // Reads every queued byte, at most capacity of them, without waiting. 0 when none or on error.
    size_t ReadAvailable(uint8_t* buffer, size_t capacity);
    // Writes the block in one write.
    bool WriteBytes(const uint8_t* data, size_t count);
    // Waits until the transmitter is empty, at most timeoutMs.
    bool WaitTransmitEmpty(uint32_t timeoutMs) { return device_.WaitTransmitEmpty(timeoutMs); }

    Clock& GetClock() { return clock_; }
    const LineSettings& lineSettings() const { return lineSettings_; }

    // The port chosen by the user, without device prefix ("ttyUSB0", "НЕТ" for none).
    std::string portName = "COM1";

private:
    SerialDevice& device_;
    Clock& clock_;
    LineSettings lineSettings_;
};
