// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "channel/exchange_result.h"
#include "iec101/iec101_types.h"

class SerialChannel;

// The per-exchange settings of an IEC 60870-5-101 operation, built afresh by the caller.
struct LinkConfig {
    uint8_t addressWidth = 1;  // link address and common address: 1, any other value means 2
    uint8_t ioaWidth = 2;      // information object address: 1, 2 or 3
    uint8_t causeWidth = 1;    // cause of transmission: 1, any other value means 2
    uint8_t reserved = 16;     // always 16, read by nothing
    uint8_t group = 0;         // interrogation group: 0 station, 1 to 16
    uint8_t commandCause = 6;  // cause of an ASDU command: 6 activation, 8 deactivation, 5 request

    static LinkConfig FromWidths(const IecWidths& widths, uint8_t group = 0,
                                 uint8_t commandCause = 6) {
        return {widths.address, widths.ioa, widths.cause, 16, group, commandCause};
    }
};

// Receive codes: the one-byte result of receiving and classifying an answer.
inline constexpr uint8_t kReceiveOk = 0;           // acknowledge, link status, decoded user data
inline constexpr uint8_t kReceiveBadStart = 1;     // unknown start byte, or negative acknowledge
inline constexpr uint8_t kReceiveBadEnd = 2;       // last byte is not 0x16
inline constexpr uint8_t kReceiveBadChecksum = 3;  // checksum mismatch
inline constexpr uint8_t kReceiveNothing = 4;      // nothing received
inline constexpr uint8_t kReceiveNoData = 5;       // fixed frame "no data" (function 9)
inline constexpr uint8_t kReceiveRejected = 6;     // DFC set, or interrogation not confirmed
// One to four bytes that are not a lone 0xE5; also a variable frame too short to hold a field
// that the classification reads (its control field, the cause-of-transmission position, or the
// type, qualifier and cause of a user-data ASDU) before its checksum.
inline constexpr uint8_t kReceiveShort = 7;
inline constexpr uint8_t kReceiveSingleAck = 0xE5;   // the single character 0xE5
inline constexpr uint8_t kReceiveUnexpected = 0xFF;  // any other function, user data with ACD/DFC

// Sizes of the receive buffers.
inline constexpr size_t kReceiveBufferSize = 5000;
inline constexpr size_t kReceiveChunkSize = 256;

inline constexpr uint8_t kFixedStart = 0x10;
inline constexpr uint8_t kVariableStart = 0x68;
inline constexpr uint8_t kFrameEnd = 0x16;
inline constexpr uint8_t kSingleAck = 0xE5;
inline constexpr uint8_t kUserDataControl = 0x08;

// A receive code as an exchange result: what the line did, or what the station said. A lone
// E5 acknowledges: as an answer to a command it counts as success (acknowledged).
ExchangeResult Iec101ReceiveResult(uint8_t receiveCode);
// Success, or the lone E5 that acknowledges a command.
inline bool Acknowledged(uint8_t receiveCode) {
    return receiveCode == kReceiveOk || receiveCode == kReceiveSingleAck;
}

// Sum modulo 256 of the bytes.
uint8_t FrameChecksum(std::span<const uint8_t> bytes);

// 10 C A CS 16, the address in one or two bytes (low byte first).
std::vector<uint8_t> BuildFixedFrame(uint8_t control, uint16_t linkAddress,
                                     const LinkConfig& config);
// 68 L L 68 C A ASDU CS 16. The caller keeps the ASDU short enough for L to fit one byte
// (at most 253 ASDU bytes with a two-byte address).
std::vector<uint8_t> BuildVariableFrame(uint8_t control, uint16_t linkAddress,
                                        const LinkConfig& config, std::span<const uint8_t> asdu);

// The link-level verdict on a collected answer. For a user-data frame (control byte 0x08 with
// room for the ASDU header) the final code depends on the ASDU, which starts at asduBegin and
// ends before asduEnd (the checksum's index).
struct FrameVerdict {
    uint8_t code = kReceiveNothing;
    bool userData = false;
    size_t asduBegin = 0;
    size_t asduEnd = 0;
};

// Classifies the collected bytes in the order: length, start byte, checksum, end byte, control
// field. Reads nothing outside the bytes.
FrameVerdict ClassifyFrame(std::span<const uint8_t> frame, const LinkConfig& config);

// The receive code of a decoded user-data ASDU from its type and raw cause byte.
uint8_t UserDataCode(uint8_t type, uint8_t cause);

// Collects one answer from the port: a read of what has arrived; 50 ms more when that brought
// nothing; then reads of at most 256 bytes, 25 ms apart, while each brings something. Stops when
// 5000 bytes are held; what arrives beyond that stays in the driver for the next receive.
std::vector<uint8_t> CollectAnswer(SerialChannel& port);
