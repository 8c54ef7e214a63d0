// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// How a transducer is polled: byte 83 of its configuration record. The byte is kept as it came,
// so that a value without a name below keeps its meaning: nothing is exchanged per tick.
enum class ExchangeMode : uint8_t {
    kModbusRtu = 0,
    kIec101 = 1,            // an IEC 60870-5-101 controlled station
    kIec101Prepared = 2,    // the IEC-101 master prepared, nothing exchanged per tick
    kModbusAsciiClock = 3,  // nothing exchanged per tick; the clock is set over Modbus ASCII
    kReceiveOnly = 4,       // answers collected and discarded, nothing sent
    kModbusAscii = 255,     // also the mode before any record is read
};

constexpr ExchangeMode ExchangeModeOf(uint8_t recordByte) {
    return static_cast<ExchangeMode>(recordByte);
}
constexpr uint8_t RecordByteOf(ExchangeMode mode) {
    return static_cast<uint8_t>(mode);
}

// Modes 1 and 2: the IEC-101 master is prepared at Start.
constexpr bool PreparesIec101(ExchangeMode mode) {
    return mode == ExchangeMode::kIec101 || mode == ExchangeMode::kIec101Prepared;
}

// The named modes: what each is called, and whether the transducer then frames its answers as
// Modbus (ASCII or RTU) or as FT1.2.
struct ExchangeModeEntry {
    ExchangeMode mode;
    std::string_view name;
    bool modbusFraming;
};
std::span<const ExchangeModeEntry> ExchangeModeTable();

// The entry of a mode; null for a byte without a name.
const ExchangeModeEntry* FindExchangeMode(ExchangeMode mode);
// The name of a mode, "no exchange" for a byte without a name.
std::string_view ExchangeModeName(ExchangeMode mode);
