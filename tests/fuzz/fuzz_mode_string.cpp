// SPDX-License-Identifier: MIT
// The mode-string parser over arbitrary text: a result or std::invalid_argument (exactly when
// fewer than two commas remain), nothing else; and every link-settings byte's mode string parses.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "channel/line_mode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool enoughCommas = std::count(text.begin(), text.end(), ',') >= 2;
    LineSettings base;
    base.dtrOn = true;
    base.rtsOn = false;
    try {
        const LineSettings s = ParseModeString(text, base);
        if (!enoughCommas || s.dtrOn || !s.rtsOn) {
            std::abort();
        }
    } catch (const std::invalid_argument&) {
        if (enoughCommas) {
            std::abort();
        }
    }
    if (size > 0) {
        const uint8_t code = data[0] & 0x0F;
        const LineSettings s = ParseModeString(ModeStringFromLinkSettingsByte(data[0]), base);
        if (HasValidCodes(s) != (code >= 2 && code <= 10)) {
            std::abort();
        }
    }
    return 0;
}
