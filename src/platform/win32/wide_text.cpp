// SPDX-License-Identifier: MIT
#include "platform/win32/wide_text.h"

#include <climits>

#include "platform/win32/windows_api.h"

std::optional<std::wstring> WideFromUtf8(std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    if (text.size() > INT_MAX) {
        return std::nullopt;
    }
    const int length = static_cast<int>(text.size());
    const int count =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (count <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<size_t>(count), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(),
                            count) != count) {
        return std::nullopt;
    }
    return wide;
}

std::optional<std::string> Utf8FromWide(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > INT_MAX) {
        return std::nullopt;
    }
    const int length = static_cast<int>(text.size());
    const int count = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length,
                                          nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(count), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, bytes.data(), count,
                            nullptr, nullptr) != count) {
        return std::nullopt;
    }
    return bytes;
}
