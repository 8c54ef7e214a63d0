// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/far_end_port.h"

// A real serial port as the far end of a line: the program sits at the other end of a cable
// (or of a loop between two adapters). The port is opened exclusively and raw, and is set to
// whatever Listen asks, so its own UART decides what it hears: bytes sent at other settings
// arrive garbled, a zero sent at a lower rate arrives as a break (a zero byte).
class TtyFarEnd : public FarEndPort {
  public:
    TtyFarEnd() = default;
    ~TtyFarEnd() override;
    TtyFarEnd(const TtyFarEnd&) = delete;
    TtyFarEnd& operator=(const TtyFarEnd&) = delete;

    // Opens the device path. Returns 0 or the errno value (EBUSY when another program holds
    // it, ENOTTY when it is not a terminal).
    int Open(const std::string& path);
    void Close();

    uint64_t NowUs() override;
    bool WaitReadable(uint32_t timeoutMs) override;
    size_t Read(uint8_t* buffer, size_t maxCount) override;
    // Waits for room in the driver's buffer at most two seconds without progress.
    bool Write(const uint8_t* data, size_t count) override;
    LineSettings SenderLine() override { return listening_; }
    bool KnowsFraming() const override { return true; }
    // Lets what is being sent leave the transmitter, then sets the port.
    bool Listen(const LineSettings& settings) override;
    bool Broken() const override { return broken_; }

  private:
    int fd_ = -1;
    bool broken_ = false;
    LineSettings listening_;
};
