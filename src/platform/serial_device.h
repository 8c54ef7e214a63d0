// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/line_settings.h"

// Why a port could not be opened, as far as the system tells.
struct OpenFailure {
    enum class Kind { kNone, kNoSuchPort, kBusy, kNoPermission, kOther };
    Kind kind = Kind::kNone;
    // kOther: the system's own text of the error.
    std::string detail;
    // kNoPermission: the group that may read and write the device file and the user who is not
    // in it; empty where unknown, or where joining the group would not help.
    std::string group;
    std::string user;
};

// The operating system's serial port, reduced to what the serial channel needs. One instance is
// one port that may be opened, reconfigured and closed any number of times. All operations are
// synchronous and never wait for bytes that have not arrived.
class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Opens the named port for reading and writing, exclusively. Returns false when the port is
    // missing, held by another program, or not accessible. Does not change the line settings.
    virtual bool Open(const std::string& portName) = 0;
    // Why the last Open failed; kNone after a successful one (and where the device cannot say).
    virtual OpenFailure LastOpenFailure() const { return {}; }
    // Releases the port; harmless when it is not open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Reads the port's current settings; false when the port is not open.
    virtual bool GetLine(LineSettings& settings) = 0;
    // Applies the settings; false when the port is not open or the driver rejects them.
    virtual bool SetLine(const LineSettings& settings) = 0;

    // Number of received bytes queued in the driver (this also clears pending line errors).
    // 0 when nothing is queued, the port is not open or the query fails.
    virtual size_t QueuedCount() = 0;
    // Reads at most maxCount of the bytes already queued, without waiting. Returns the count.
    virtual size_t Read(uint8_t* buffer, size_t maxCount) = 0;
    // Writes the block; true when the driver took all of it.
    virtual bool Write(const uint8_t* data, size_t count) = 0;
    // Waits until everything written has left the transmitter, at most timeoutMs.
    // Returns true when the transmitter became empty in that time.
    virtual bool WaitTransmitEmpty(uint32_t timeoutMs) = 0;
};
