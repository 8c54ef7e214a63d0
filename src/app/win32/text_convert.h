// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The window system speaks UTF-16; the rest of the program UTF-8. The conversion happens here
// and nowhere else.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
