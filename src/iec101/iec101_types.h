// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The time tag of the last answer that carried one, as four 16-bit fields.
struct AsduTime {
    uint16_t milliseconds = 0;  // second * 1000 + millisecond within the minute
    uint16_t hourMinute = 0;    // hour byte * 256 + minute byte, both as received
    uint16_t monthDay = 0;      // month byte * 256 + day byte (day of week still in bits 5 to 7)
    uint16_t year = 0;          // year byte as received (0 to 99)

    friend bool operator==(const AsduTime&, const AsduTime&) = default;
};

// What the master's ASDU decoder reports to its owner. The controller owns one record and hands
// it to the master; every decoded answer writes into it.
struct Iec101Results {
    // Raised when every awaited parameter of a value set has arrived; the owner clears it.
    bool setComplete = false;
    AsduTime asduTime;
    // Type identification of the last measured-value answer (below 100, 143 or 145).
    uint8_t valueType = 0;
    // First cause-of-transmission byte of the last answer, test and negative bits included.
    uint8_t lastCause = 0;
    // Type identification of the last answer, whatever it was.
    uint8_t lastType = 0;
    // Counts the ASDUs decoded, so that the owner can tell whether an answer brought one.
    uint32_t asduCount = 0;
};

// Causes of transmission the master sends and reads (the first cause byte, without the test
// and negative bits).
inline constexpr uint8_t kCauseRequest = 5;
inline constexpr uint8_t kCauseActivation = 6;
inline constexpr uint8_t kCauseConfirmation = 7;
inline constexpr uint8_t kCauseDeactivation = 8;
inline constexpr uint8_t kCauseTermination = 10;
// An interrogation of the station; 21 to 36 interrogate groups 1 to 16.
inline constexpr uint8_t kCauseStationInterrogated = 20;

// The field widths of the configuration record: link and common address (1 or 2 bytes),
// information object address (1 to 3 bytes), cause of transmission (1 or 2 bytes).
struct IecWidths {
    uint8_t address = 1;
    uint8_t ioa = 2;
    uint8_t cause = 1;
};

// The width rules every frame follows: an address or cause width other than 1 means 2 bytes;
// an information object address is 1 to 3 bytes (0 is taken as 1, anything above 3 as 3).
inline uint8_t AddressBytes(uint8_t width) {
    return width == 1 ? 1 : 2;
}
inline uint8_t CauseBytes(uint8_t width) {
    return width == 1 ? 1 : 2;
}
inline uint8_t IoaBytes(uint8_t width) {
    return width < 1 ? uint8_t{1} : width > 3 ? uint8_t{3} : width;
}

// One parameter of the transducer as the IEC master sees it: its four-character name and its
// information object address. The order of the list is the parameter index.
struct IecParameter {
    std::string name;
    uint32_t address = 0;

    friend bool operator==(const IecParameter&, const IecParameter&) = default;
};

// Reads a hexadecimal address text such as "0x0000C8 ": leading blanks, an optional 0x or 0X,
// then hexadecimal digits up to the first other character. No digits give 0; a value beyond
// 32 bits gives 0xFFFFFFFF.
uint32_t ParseHexAddress(std::string_view text);

// Turns the configuration's parameter list of text triples (name, "0x%.6X " address, "2") into
// parameters. A trailing incomplete triple is ignored.
std::vector<IecParameter> IecParametersFromTexts(const std::vector<std::string>& triples);
