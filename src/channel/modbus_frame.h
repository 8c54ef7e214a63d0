// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Modbus serial-line framing, RTU (binary, CRC-16) and ASCII (":", hexadecimal, LRC, CR LF), as
// pure functions over byte arrays. Used by the master's transactions and by the simulated slave.

// Result codes of an answer check. Anything other than kModbusValid is a failed exchange.
inline constexpr uint8_t kModbusValid = 0;
inline constexpr uint8_t kModbusNoColon = 1;           // ASCII: first character is not ':'
inline constexpr uint8_t kModbusNoLineFeed = 2;        // ASCII: last character is not LF
inline constexpr uint8_t kModbusChecksumMismatch = 3;  // CRC or LRC differs
inline constexpr uint8_t kModbusNoAnswer = 4;  // nothing, too short, or shorter than its count
inline constexpr uint8_t kModbusExceptionBase = 100;  // ASCII exception e: 100 + e, at most 255

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF); sent low byte first.
uint16_t ComputeCrc16(std::span<const uint8_t> bytes);
// Modbus ASCII LRC: the two's complement of the 8-bit sum of the bytes.
uint8_t ComputeLrc(std::span<const uint8_t> bytes);

// 0 to 15 gives the character code of '0' to '9', 'A' to 'F'; any other value is returned as is.
uint8_t NibbleToHex(uint8_t value);
// '0' to '9' and 'A' to 'F' (upper case only) give 0 to 15; any other character gives its own
// code ('a' gives 0x61).
uint8_t HexToNibble(uint8_t character);
// Two characters, high nibble first, decoded as (HexToNibble(high) << 4 | HexToNibble(low)) in
// 8 bits.
uint8_t HexPairToByte(uint8_t high, uint8_t low);

// Request frames from slave address, function code, start register and an optional data block
// (nullptr: no block, which differs from an empty one for function 102 in RTU). The payload after
// address and function depends on the function:
//   function  RTU                                   ASCII
//   3, 4      register, all data                    register, data bytes 1-2
//   6         register, all data                    register, data bytes 3-4
//   16        register, all data                    register, all data
//   102       data count (1 byte), all data         all data
//             (nothing without a block)
//   104, 106  all data                              register, all data (106: data byte 1 only)
//   other     all data, if any                      nothing
// A data block shorter than an ASCII layout asks for contributes only the bytes it has.
std::vector<uint8_t> BuildRtuRequest(uint8_t address, uint8_t function, uint16_t startRegister,
                                     const std::vector<uint8_t>* data);
std::vector<uint8_t> BuildAsciiRequest(uint8_t address, uint8_t function, uint16_t startRegister,
                                       const std::vector<uint8_t>* data);

// Frames any byte sequence (address, function and what follows): RTU appends the CRC, ASCII
// writes ':', the hexadecimal characters, the LRC and CR LF. The request builders use these; a
// simulated slave builds its answers with them.
std::vector<uint8_t> FrameRtu(std::span<const uint8_t> body);
std::vector<uint8_t> FrameAscii(std::span<const uint8_t> body);

// Checks the bytes collected for an RTU answer. On kModbusValid appends the frame without its
// CRC (address, function, data) to answer; on any other result leaves answer as it was. Neither
// address, function nor length is examined, so an exception answer is valid with its 3 bytes.
uint8_t CheckRtuAnswer(std::span<const uint8_t> collected, std::vector<uint8_t>& answer);

// Checks and decodes the characters collected for an ASCII answer. Nothing is appended unless
// framing and LRC pass; then address and function code are appended, followed by, from the data
// characters between the function code and the LRC:
//   3, 4, 102, 103  the count byte and count bytes     106  count bytes (not the count)
//   104             (n-17)/2 bytes after the echoed register
//   16 and any other function below 128: every data byte
// A count larger than the data characters hold gives kModbusNoAnswer with nothing appended.
// An exception answer (function bit 7 set) gives 100 + its code, at most 255 (100 when the code
// is missing), and leaves exactly address, function, 0, 0 appended.
uint8_t CheckAsciiAnswer(std::span<const uint8_t> collected, std::vector<uint8_t>& answer);
