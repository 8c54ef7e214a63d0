// SPDX-License-Identifier: MIT
#include "platform/win32/win32_device_names.h"

#include <optional>
#include <string_view>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

std::vector<std::string> Win32DeviceNames::DosDeviceNames() {
    std::vector<std::string> names;
    std::wstring buffer(kBufferChars, L'\0');
    const DWORD count = QueryDosDeviceW(nullptr, buffer.data(), kBufferChars);
    if (count == 0) {
        return names;
    }
    // Zero-terminated names, the list closed by an empty one.
    std::wstring_view rest(buffer.data(), count);
    while (!rest.empty() && rest.front() != L'\0') {
        const std::wstring_view name = rest.substr(0, rest.find(L'\0'));
        if (std::optional<std::string> text = Utf8FromWide(name)) {
            names.push_back(std::move(*text));
        }
        rest.remove_prefix(std::min(rest.size(), name.size() + 1));
    }
    return names;
}
