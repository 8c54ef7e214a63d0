// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

// Number texts that never depend on the process locale: the decimal separator is always ".".
// The results are those of printf under the C locale.

// As "%.<decimals>f": fixed notation, correctly rounded; "nan", "-nan", "inf", "-inf" for the
// values that are not finite.
std::string FormatFixed(double value, int decimals);

// As "%d".
std::string FormatInteger(int64_t value);

// As "%.<minDigits>X": upper-case hexadecimal, at least minDigits digits.
std::string FormatHexUpper(uint32_t value, int minDigits);
