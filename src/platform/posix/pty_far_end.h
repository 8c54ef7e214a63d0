// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/far_end_port.h"
#include "platform/posix/pseudo_terminal.h"

// A new pseudo-terminal as the far end of a program's port: the program opens SlavePath(),
// this end reads and writes the master side. The slave's line starts raw (no echo, no
// translation) so that nothing written here before the program sets its line comes back. The
// program may close and reopen its port any number of times; while it has it closed, reads
// give nothing and what is written here waits in the pty (the program's port drops it at open).
class PtyFarEnd : public FarEndPort {
  public:
    // Creates the pair. False when the system refuses.
    bool Create();
    const std::string& SlavePath() const { return pty_.SlavePath(); }

    uint64_t NowUs() override;
    bool WaitReadable(uint32_t timeoutMs) override;
    size_t Read(uint8_t* buffer, size_t maxCount) override;
    // Never waits: what the pty cannot take now (a program that does not read) is dropped.
    bool Write(const uint8_t* data, size_t count) override;
    // The baud rate and stop bits the program set on its side; parity none, 8 data bits.
    LineSettings SenderLine() override;
    bool KnowsFraming() const override { return false; }
    bool Listen(const LineSettings&) override { return true; }
    bool Broken() const override { return !pty_.IsOpen(); }

  private:
    PseudoTerminal pty_;
    LineSettings lastLine_;
};
