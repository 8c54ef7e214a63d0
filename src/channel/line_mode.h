// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "platform/line_settings.h"

// Mode strings ("19200,E,8,1": baud rate, parity, data bits, stop bits) and the transducer's
// packed link-settings byte, the two ways line settings are stated in this system.

// Applies a mode string to base and returns the result; fields the string does not cover keep
// base's values, DTR is disabled and RTS enabled. Spaces are removed first. The baud rate is the
// leading decimal number (0 without digits). Parity: the whole-field words "НЕТ", "НЕЧЕТ" and
// "ЧЕТ" stand for N, O and E; then the first character decides (E, M, N, O, S, upper case only;
// empty means none). Data bits: the one character after the second comma. The character after
// it is skipped; the rest is the stop-bit text "1", "1.5" or "2". Anything not recognised is
// carried as LineSettings::kInvalidCode (or an out-of-range value), so the device rejects it.
// Throws std::invalid_argument when the string has fewer than two commas.
LineSettings ParseModeString(const std::string& text, LineSettings base);

// The settings as a plain mode string, "19200,E,8,1": parity as N, O, E, M or S ("?" for a code
// out of range), stop bits as 1, 1.5 or 2.
std::string FormatModeString(const LineSettings& settings);

// The mode string a link-settings byte stands for: bits 0-3 baud code, bit 4 two stop bits,
// bits 5-6 parity, bit 7 eight data bits. 0xC7 gives "19200,ЧЕТ,8,1". An unknown baud code
// gives an empty baud field (baud rate 0, which the port rejects).
std::string ModeStringFromLinkSettingsByte(uint8_t linkSettingsByte);
