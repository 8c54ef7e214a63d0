// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/far_end_port.h"
#include "platform/line_settings.h"
#include "platform/win32/comm_port.h"

// The system's text for an error code ("The system cannot find the file specified."), in
// UTF-8; the number when the system has no text for it.
std::string Win32ErrorText(unsigned long code);

// A COM port of Windows as the far end of a line: the program sits at the other end of a cable.
// The port is opened exclusively and set to whatever Listen asks, so its own UART decides what
// it hears. Time is the performance counter's.
class Win32ComFarEnd : public FarEndPort {
  public:
    Win32ComFarEnd() = default;
    ~Win32ComFarEnd() override;
    Win32ComFarEnd(const Win32ComFarEnd&) = delete;
    Win32ComFarEnd& operator=(const Win32ComFarEnd&) = delete;

    // Opens the port ("COM5") at the settings last given to Listen. Returns 0 or the system's
    // error code.
    unsigned long Open(const std::string& portName);
    void Close();

    uint64_t NowUs() override;
    // Polls the received count every millisecond.
    bool WaitReadable(uint32_t timeoutMs) override;
    size_t Read(uint8_t* buffer, size_t maxCount) override;
    bool Write(const uint8_t* data, size_t count) override;
    LineSettings SenderLine() override { return listening_; }
    bool KnowsFraming() const override { return true; }
    // Lets what is being sent leave the transmitter, then sets the port.
    bool Listen(const LineSettings& settings) override;
    // True once a query of the port has failed (an adapter unplugged).
    bool Broken() const override { return broken_; }

  private:
    CommHandle port_ = nullptr;
    bool broken_ = false;
    LineSettings listening_;
};
