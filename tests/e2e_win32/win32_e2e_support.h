// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/brenno_app.h"

// Helpers of the Windows programs' end-to-end runs under Wine: the window on the system's own
// services, its message loop against the wall clock, the message boxes it opens, and the
// simulator's trace of what reached the line.

// Records every message box the thread opens (other than the main window) as "caption: text"
// and closes it with its OK button, and keeps each status text the window shows while a
// command runs in its own waits. Looks every 50 ms from a thread timer, which every modal loop
// dispatches.
class DialogWatch {
  public:
    DialogWatch(HWND mainWindow, int statusLine);
    ~DialogWatch();
    DialogWatch(const DialogWatch&) = delete;
    DialogWatch& operator=(const DialogWatch&) = delete;

    const std::vector<std::string>& boxes() const { return boxes_; }
    const std::vector<std::string>& statuses() const { return statuses_; }
    void Look();

  private:
    HWND main_;
    int statusLine_;
    UINT_PTR timer_ = 0;
    std::vector<HWND> answered_;
    std::vector<std::string> boxes_;
    std::vector<std::string> statuses_;
};

// Dispatches the window's messages until done() holds or timeoutMs of wall-clock time have
// passed; whether it held.
bool PumpUntil(CBrennoDlg& dialog, const std::function<bool()>& done, uint32_t timeoutMs);

// The bytes of every request the simulator heard, in order, from its --trace output (the lines
// "<- [line settings] hex bytes").
std::vector<std::vector<uint8_t>> HeardRequests(const std::string& tracePath);

// The hour and minute a clock-setting request carries: a Modbus write of the four time
// registers (function 16), or an IEC 60870-5-101 clock synchronisation command (type 103,
// activation) with its CP56Time2a; nothing for any other frame.
std::optional<int> ClockSetMinuteOfDay(const std::vector<uint8_t>& request);

// Seconds of the day in a time field's text ("hh : mm : s.ss"); nothing when it is no such text.
std::optional<double> SecondsOfDay(const std::string& text);
// The distance of two times of day, across midnight.
double SecondsApart(double a, double b);

// The cells of a log row (each one ends with a tab), and whether a cell is a number.
std::vector<std::string> CellsOf(const std::string& row);
bool IsNumber(const std::string& cell);
