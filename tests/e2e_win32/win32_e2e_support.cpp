// SPDX-License-Identifier: MIT
#include "e2e_win32/win32_e2e_support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include "app/win32/text_convert.h"

namespace {

DialogWatch* activeWatch = nullptr;

void CALLBACK LookForDialogs(HWND, UINT, UINT_PTR, DWORD) {
    if (activeWatch != nullptr) {
        activeWatch->Look();
    }
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The texts of a dialog's static controls (the icon's has none), joined.
std::string StaticTextOf(HWND dialog) {
    std::string text;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && GetWindowTextLengthW(child) > 0) {
            text += (text.empty() ? "" : " ") + WideToUtf8(WindowText(child));
        }
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

DialogWatch::DialogWatch(HWND mainWindow, int statusLine)
    : main_(mainWindow), statusLine_(statusLine) {
    activeWatch = this;
    timer_ = SetTimer(nullptr, 0, 50, &LookForDialogs);
}

DialogWatch::~DialogWatch() {
    KillTimer(nullptr, timer_);
    activeWatch = nullptr;
}

void DialogWatch::Look() {
    // Without the mark that blinks behind the status of a poll.
    std::string status = WideToUtf8(WindowText(GetDlgItem(main_, statusLine_)));
    while (status.ends_with(" ") || status.ends_with("■")) {
        status.resize(status.size() - (status.ends_with(" ") ? 1 : std::string("■").size()));
    }
    if (statuses_.empty() || statuses_.back() != status) {
        statuses_.push_back(status);
    }
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM self) -> BOOL {
            auto& watch = *reinterpret_cast<DialogWatch*>(self);
            if (window == watch.main_ || !IsWindowVisible(window) || ClassOf(window) != L"#32770" ||
                std::find(watch.answered_.begin(), watch.answered_.end(), window) !=
                    watch.answered_.end()) {
                return TRUE;
            }
            watch.answered_.push_back(window);
            watch.boxes_.push_back(WideToUtf8(WindowText(window)) + ": " + StaticTextOf(window));
            PostMessageW(window, WM_COMMAND, IDOK, 0);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(this));
}

bool PumpUntil(CBrennoDlg& dialog, const std::function<bool()>& done, uint32_t timeoutMs) {
    const uint64_t deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        dialog.PumpMessagesFor(50);
    }
    return true;
}

std::vector<std::vector<uint8_t>> HeardRequests(const std::string& tracePath) {
    std::vector<std::vector<uint8_t>> requests;
    std::ifstream in(tracePath);
    std::string line;
    while (std::getline(in, line)) {
        const size_t open = line.find("<- [");
        const size_t close = open == std::string::npos ? open : line.find(']', open);
        if (close == std::string::npos) {
            continue;
        }
        std::vector<uint8_t> bytes;
        std::istringstream words(line.substr(close + 1));
        std::string word;
        while (words >> word && word.size() == 2 && HexDigit(word[0]) >= 0 &&
               HexDigit(word[1]) >= 0) {
            bytes.push_back(static_cast<uint8_t>(HexDigit(word[0]) << 4 | HexDigit(word[1])));
        }
        requests.push_back(std::move(bytes));
    }
    return requests;
}

std::optional<int> ClockSetMinuteOfDay(const std::vector<uint8_t>& r) {
    // Modbus: address, 16, first register (2), 4 registers, 8 bytes, then the time record:
    // second and millisecond, hour and minute, ...; the check sum (RTU) after it.
    if (r.size() == 17 && r[1] == 0x10 && r[4] == 0 && r[5] == 4 && r[6] == 8) {
        return r[9] * 60 + r[10];
    }
    // IEC 60870-5-101: 68 L L 68 C A[1 or 2] 103 VSQ 6 ... CP56Time2a, check sum, 16; the
    // time's minute and hour are its third and fourth bytes.
    if (r.size() >= 18 && r[0] == 0x68 && r.back() == 0x16) {
        for (size_t type : {size_t{6}, size_t{7}}) {
            if (r[type] == 103 && r[type + 2] == 6) {
                const size_t time = r.size() - 9;
                return (r[time + 3] & 0x1F) * 60 + (r[time + 2] & 0x3F);
            }
        }
    }
    return std::nullopt;
}

std::optional<double> SecondsOfDay(const std::string& text) {
    int hour = 0;
    int minute = 0;
    double second = 0;
    if (std::sscanf(text.c_str(), "%d : %d : %lf", &hour, &minute, &second) != 3) {
        return std::nullopt;
    }
    return hour * 3600.0 + minute * 60.0 + second;
}

double SecondsApart(double a, double b) {
    const double apart = std::fabs(a - b);
    return std::min(apart, 86400.0 - apart);
}

std::vector<std::string> CellsOf(const std::string& row) {
    std::vector<std::string> cells;
    size_t begin = 0;
    for (;;) {
        const size_t tab = row.find('\t', begin);
        cells.push_back(row.substr(begin, tab == std::string::npos ? tab : tab - begin));
        if (tab == std::string::npos) {
            if (cells.back().empty()) {
                cells.pop_back();  // the tab that ends every row
            }
            return cells;
        }
        begin = tab + 1;
    }
}

bool IsNumber(const std::string& cell) {
    std::string text = cell;
    std::replace(text.begin(), text.end(), ',', '.');
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && end != text.c_str() &&
           std::string_view(end).find_first_not_of(' ') == std::string_view::npos;
}
