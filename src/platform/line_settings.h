// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// A serial line's settings in a portable record: the fields a transducer link needs, with the
// codes the Windows device-control block uses, so that an invalid code (a parity letter that is
// not recognised, a stop-bit text that is not 1, 1.5 or 2) can be carried to the device and be
// rejected there, as the driver would reject it.
struct LineSettings {
    // Parity codes.
    static constexpr uint8_t kNoParity = 0;
    static constexpr uint8_t kOddParity = 1;
    static constexpr uint8_t kEvenParity = 2;
    static constexpr uint8_t kMarkParity = 3;
    static constexpr uint8_t kSpaceParity = 4;
    // Stop-bit codes.
    static constexpr uint8_t kOneStopBit = 0;
    static constexpr uint8_t kOne5StopBits = 1;
    static constexpr uint8_t kTwoStopBits = 2;
    // A code outside the valid ranges; the device rejects settings that carry it.
    static constexpr uint8_t kInvalidCode = 0xFF;

    uint32_t baudRate = 9600;
    uint8_t dataBits = 8;
    uint8_t parity = kNoParity;
    uint8_t stopBits = kOneStopBit;
    bool dtrOn = false;  // DTR line: false = held low
    bool rtsOn = true;   // RTS line: true = held high

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// True when every code is within the range a driver can take (baud rate above 0, 5 to 8 data
// bits, parity 0 to 4, stop bits 0 to 2). Whether the driver supports the rate is its own matter.
inline bool HasValidCodes(const LineSettings& s) {
    return s.baudRate > 0 && s.dataBits >= 5 && s.dataBits <= 8 &&
           s.parity <= LineSettings::kSpaceParity && s.stopBits <= LineSettings::kTwoStopBits;
}

// Microseconds that one character occupies on the line: start bit, data bits, parity bit if
// any, stop bits. Used by the virtual line to place bytes in time.
inline uint64_t CharTimeMicroseconds(const LineSettings& s) {
    if (s.baudRate == 0) {
        return 0;
    }
    // Half-bit units, so that 1.5 stop bits stays exact.
    uint64_t halfBits =
        2 * (1 + uint64_t{s.dataBits}) + (s.parity != LineSettings::kNoParity ? 2 : 0);
    halfBits += s.stopBits == LineSettings::kOneStopBit     ? 2
                : s.stopBits == LineSettings::kOne5StopBits ? 3
                                                            : 4;
    return (halfBits * 1'000'000ULL + s.baudRate) / (2ULL * s.baudRate);
}
