// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

// Reading what a test's program wrote: a file's text, and a measurement log's lines and rows.

// The whole content of a file, byte for byte; empty when there is none.
inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a text with CR LF line ends. A last line without its line end counts too: the log
// writes a row's line end only when the next row begins.
inline std::vector<std::string> LinesOf(std::string_view text) {
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = text.find("\r\n", pos);
        lines.emplace_back(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end == std::string_view::npos ? text.size() : end + 2;
    }
    return lines;
}

// How RowsOf treats the log's header (the model line, a blank line, the column titles).
enum class HeaderCheck {
    kNone,      // the first three lines are passed over unseen; no rows when there are no more
    kRequired,  // they must be a header, else the one row "(no header)" says it is broken
};

// The rows of a log file's text: its lines after the header's three.
inline std::vector<std::string> RowsOf(std::string_view text,
                                       HeaderCheck check = HeaderCheck::kNone) {
    const std::vector<std::string> lines = LinesOf(text);
    if (check == HeaderCheck::kRequired &&
        (lines.size() < 3 || !lines[1].empty() || !lines[2].starts_with("time"))) {
        return {"(no header)"};
    }
    return lines.size() > 3 ? std::vector<std::string>(lines.begin() + 3, lines.end())
                            : std::vector<std::string>{};
}
