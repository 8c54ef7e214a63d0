// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/line_settings.h"

// An open COM port (the system's handle) and what both ends of a line do with it: the
// program's serial device and the simulator's far end. Errors come back as results, never
// thrown.
using CommHandle = void*;

// The device a port name stands for: "\\.\" and the name, so that COM10 and above open too; a
// name that already starts with "\\" is taken as it is. Nothing for a name that is not UTF-8.
std::optional<std::wstring> CommDevicePath(const std::string& portName);

// Opens the port exclusively for reading and writing, without overlapped I/O. Reads return at
// once with what has arrived; a write gives up when the line does not take its bytes in good
// time. Bytes received before the open are dropped. Null on failure, with the system's error
// code in error (ERROR_FILE_NOT_FOUND for a missing port, ERROR_ACCESS_DENIED for one in use).
CommHandle OpenCommPort(const std::string& portName, unsigned long& error);
void CloseCommPort(CommHandle port);

// The line from the device-control block: baud rate, data bits, parity and stop-bit codes, DTR
// and RTS (enabled or not).
bool ReadCommLine(CommHandle port, LineSettings& settings);
// Writes those fields into the port's device-control block, keeping every other field as the
// port has it; DTR and RTS are held as the settings say. Codes a driver cannot take are refused
// before the port is touched. The write timeouts follow the new baud rate.
bool WriteCommLine(CommHandle port, const LineSettings& settings);

// The received and the unsent bytes queued in the driver; clears the line's error flags.
// False when the query fails (the port is gone).
bool CommQueues(CommHandle port, size_t& received, size_t& unsent);
// Reads at most maxCount bytes of those that have arrived, without waiting; failed is set when
// the read itself fails.
size_t ReadCommBytes(CommHandle port, uint8_t* buffer, size_t maxCount, bool& failed);
// Writes the whole block; false when the driver did not take all of it in time or failed.
bool WriteCommBytes(CommHandle port, const uint8_t* data, size_t count);
// Polls the unsent count until it is 0, at most timeoutMs; true when it became 0.
bool WaitCommTransmitEmpty(CommHandle port, uint32_t timeoutMs);
