// The mode-string parser over arbitrary text: a result or std::invalid_argument, nothing else.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "channel/line_mode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const LineSettings s = ParseModeString(text, LineSettings{});
        (void)HasValidCodes(s);
    } catch (const std::invalid_argument&) {
    }
    if (size > 0) {
        (void)ModeStringFromLinkSettingsByte(data[0]);
    }
    return 0;
}
