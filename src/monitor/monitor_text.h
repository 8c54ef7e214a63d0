// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "channel/traffic_recorder.h"

// The texts of the line monitor's window, the same in both front ends.

// The frame list's columns.
struct FrameRow {
    std::string time;       // time of day with milliseconds: "14:03:07.125"
    std::string direction;  // "→" sent, "←" received
    std::string hex;
    std::string decoded;
    bool failed = false;
};

// The row of one frame; localMsAtZero is the recorder's LocalMsAtZero().
FrameRow MakeFrameRow(const TrafficFrame& frame, int64_t localMsAtZero);
// The row as one tab-separated line, for the clipboard.
std::string FrameRowLine(const FrameRow& row);
// "14:03:07.125" for a local time in milliseconds since 1970.
std::string TimeOfDayText(int64_t localMs);

// The session statistics as lines of text.
std::vector<std::string> StatisticsLines(const TrafficStatistics& s);

// The window's texts; the list's column titles in the order of FrameRow's fields.
inline constexpr std::array<const char*, 4> kMonitorColumns = {"Время", "Направление", "Байты",
                                                               "Расшифровка"};
inline constexpr const char* kMonitorTitle = "Монитор линии";
inline constexpr const char* kMonitorPause = "Пауза";
inline constexpr const char* kMonitorResume = "Продолжить";
inline constexpr const char* kMonitorClear = "Очистить";
inline constexpr const char* kMonitorCopy = "Копировать";
inline constexpr const char* kMonitorSave = "Сохранить…";
inline constexpr const char* kMonitorSaveFilter = "Захват pcapng (*.pcapng)";
inline constexpr const char* kMonitorSaveFailed = "Не удалось записать файл";
// The frames the list keeps at most: the monitor shows the newest ones.
inline constexpr size_t kMonitorListLimit = 20'000;
