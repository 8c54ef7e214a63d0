// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "channel/traffic_recorder.h"

// What a recorded frame says, read from its bytes with the kind, direction and widths it was
// recorded with. Decoding happens when a frame is shown or saved; the recorder keeps bytes only.
struct FrameFields {
    enum class Shape : uint8_t {
        kWakeUp,        // the scan's zero bytes, or what the line carried during the scan
        kModbus,        // a Modbus RTU or ASCII frame (ASCII decoded to its bytes)
        kFt12Fixed,     // 10 C A CS 16
        kFt12Variable,  // 68 L L 68 C A ASDU CS 16
        kFt12Single,    // E5
        kBytes,         // bytes that make no frame of the kind expected, or were thrown away
    };
    Shape shape = Shape::kBytes;
    bool request = false;       // sent by this program
    bool checksumGood = false;  // CRC, LRC or FT1.2 sum (and framing characters) right
    bool complete = false;      // long enough for the fields its header announces

    // Modbus: the address and function always; start and count for requests that carry them
    // and for write answers; the byte count for read answers; the exception code.
    std::optional<uint8_t> address;
    std::optional<uint8_t> function;
    std::optional<uint16_t> start;
    std::optional<uint16_t> count;
    std::optional<uint16_t> byteCount;
    std::optional<uint8_t> exception;

    // FT1.2: the control field's parts and the link address.
    bool prm = false;
    bool fcbOrAcd = false;  // FCB from the master, ACD from the station
    bool fcvOrDfc = false;  // FCV from the master, DFC from the station
    uint8_t linkFunction = 0;
    std::optional<uint16_t> linkAddress;
    // A variable frame's ASDU header.
    std::optional<uint8_t> asduType;
    std::optional<uint8_t> cause;  // without the test and negative bits
    bool negative = false;
    bool test = false;
    std::optional<uint16_t> commonAddress;
    std::optional<uint8_t> objects;  // number of information objects
    bool sequence = false;           // SQ: the objects follow one address
};

FrameFields ReadFrameFields(const TrafficFrame& frame);

// The frame as one line of text: protocol, addresses, function, counts, checksum verdict.
std::string DescribeFrame(const TrafficFrame& frame);
// True when the frame shows a failure: a bad checksum or framing, an exception, an answer the
// exchange's check did not take, or no answer at all.
bool IsFailedFrame(const TrafficFrame& frame);

// "01 03 00 00 00 0A C5 CD", at most maxBytes of them followed by " …" when there are more.
std::string HexBytes(std::span<const uint8_t> bytes, size_t maxBytes = 64);

// Modbus ASCII characters decoded to the bytes between ':' and the LRC's end (LRC included);
// nothing when the text is not such a frame.
std::optional<std::vector<uint8_t>> AsciiFrameBytes(std::span<const uint8_t> text);

// Names for the texts.
std::string ModbusFunctionName(uint8_t function);
std::string ModbusExceptionName(uint8_t code);
std::string Ft12FunctionName(bool prm, uint8_t function);
std::string AsduTypeName(uint8_t type);
std::string CauseName(uint8_t cause);
// An IEC-101 receive code's name, as the statistics show it.
std::string ReceiveCodeName(uint8_t code);
