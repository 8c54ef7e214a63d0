// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/line_settings.h"

// The far end of a serial line, where a simulated device sits: the master side of a
// pseudo-terminal whose slave side a program opens as its port, or a real serial port at the
// other end of a cable. Reads and writes never block for long; time is a monotonic microsecond
// count that stamps what arrives and schedules what is sent.
class FarEndPort {
  public:
    virtual ~FarEndPort() = default;

    // Microseconds of a monotonic clock.
    virtual uint64_t NowUs() = 0;
    // Waits at most timeoutMs until bytes are ready to read; true when some are.
    virtual bool WaitReadable(uint32_t timeoutMs) = 0;
    // Reads at most maxCount of the bytes that have arrived, without waiting.
    virtual size_t Read(uint8_t* buffer, size_t maxCount) = 0;
    // Writes the block; true when all of it was taken.
    virtual bool Write(const uint8_t* data, size_t count) = 0;

    // The settings at which the bytes arriving now were sent, as far as this end can tell: a
    // pseudo-terminal shows the baud rate and stop bits the program set (never its parity or
    // data bits); a real port can only say what it listens at itself.
    virtual LineSettings SenderLine() = 0;
    // Whether parity and data bits of SenderLine are real (false on a pseudo-terminal).
    virtual bool KnowsFraming() const = 0;
    // The settings this end listens and sends at. A real port is set to them (after what it
    // is still sending has left); a pseudo-terminal has no line of its own and ignores them.
    virtual bool Listen(const LineSettings& settings) = 0;
    // True once the line is gone for good (a serial adapter unplugged).
    virtual bool Broken() const = 0;
};
