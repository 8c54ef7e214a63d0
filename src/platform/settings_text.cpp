// SPDX-License-Identifier: MIT
#include "platform/settings_text.h"

#include <cstdint>

namespace {

constexpr std::string_view kHeading = "[Corvanta]";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool StorableOnOneLine(std::string_view s) {
    return s.find_first_of("\r\n") == s.npos;
}

}  // namespace

SettingsEntries ParseSettingsText(std::string_view text) {
    SettingsEntries entries;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == text.npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == ';' ||
            trimmed.front() == '[') {
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == line.npos) {
            continue;
        }
        const std::string_view key = Trim(line.substr(0, eq));
        if (key.empty()) {
            continue;
        }
        // The value is kept as written after "=": a port name has no blanks to lose, and
        // whatever else is stored comes back unchanged.
        std::string value(line.substr(eq + 1));
        bool replaced = false;
        for (auto& [k, v] : entries) {
            if (k == key) {
                v = value;  // the last line of a key wins
                replaced = true;
            }
        }
        if (!replaced) {
            entries.emplace_back(std::string(key), std::move(value));
        }
    }
    return entries;
}

std::string FormatSettingsText(const SettingsEntries& entries) {
    std::string text(kHeading);
    text += '\n';
    for (const auto& [key, value] : entries) {
        text += key;
        text += '=';
        text += value;
        text += '\n';
    }
    return text;
}

std::optional<std::string> FindSetting(const SettingsEntries& entries, std::string_view key) {
    for (const auto& [k, v] : entries) {
        if (k == key) {
            return v;
        }
    }
    return std::nullopt;
}

bool SetSetting(SettingsEntries& entries, const std::string& key, const std::string& value) {
    if (key.empty() || key.find('=') != key.npos || Trim(key) != key || !StorableOnOneLine(key) ||
        !StorableOnOneLine(value) || key.front() == '#' || key.front() == ';' ||
        key.front() == '[') {
        return false;
    }
    for (auto& [k, v] : entries) {
        if (k == key) {
            v = value;
            return true;
        }
    }
    entries.emplace_back(key, value);
    return true;
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t more = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            cp = c & 0x1Fu;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            cp = c & 0x0Fu;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (i + more >= text.size()) {
            return false;
        }
        for (size_t k = 1; k <= more; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (d & 0x3Fu);
        }
        static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += more + 1;
    }
    return true;
}

size_t Utf8Length(std::string_view text) {
    size_t count = 0;
    for (char ch : text) {
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}
