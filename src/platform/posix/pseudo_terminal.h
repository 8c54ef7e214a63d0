// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/line_settings.h"

// A pseudo-terminal pair as the far end of a serial line, for tests and for serving the
// simulated transducer. The program opens SlavePath() like any serial port (PosixSerialDevice
// with the absolute path); the peer reads and writes the master side here. The master side is
// raw (no echo, no translation) from the start; the slave side is raw once the program has set
// its line.
//
// Without a held slave descriptor, the master side sees the program's close as a hang-up:
// reads give nothing (and WaitReadable waits) until the program opens the port again. With
// holdSlave the peer keeps a slave descriptor of its own: the line never hangs up, and
// SlaveLine() can read what the program set. Either way, bytes written towards the program
// while its port is closed stay queued in the pty; PosixSerialDevice discards them at open, as
// a real port would never have received them.
class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates a new pair (closing one held before). False when the system refuses.
    bool Create(bool holdSlave = false);
    // Closes the master side: the program's port is hung up (reads give 0, writes fail).
    void CloseMaster();
    // Closes everything.
    void Close();

    bool IsOpen() const { return masterFd_ >= 0; }
    // "/dev/pts/N"; empty before Create.
    const std::string& SlavePath() const { return slavePath_; }
    // The master descriptor (non-blocking), for peers that do their own reads and writes.
    int MasterFd() const { return masterFd_; }

    // Reads at most maxCount of the bytes the program has written, without waiting.
    size_t Read(uint8_t* buffer, size_t maxCount);
    // Writes the block towards the program; true when all of it was taken within a second.
    bool Write(const uint8_t* data, size_t count);
    // Waits at most timeoutMs for bytes from the program; true when some are ready to read.
    bool WaitReadable(uint32_t timeoutMs);
    // The line as the program set it: baud rate and stop bits as set, data bits and parity as a
    // pty shows them (8, none). Only with holdSlave; false otherwise.
    bool SlaveLine(LineSettings& settings);

  private:
    int masterFd_ = -1;
    int heldSlaveFd_ = -1;
    std::string slavePath_;
};
