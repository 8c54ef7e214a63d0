// SPDX-License-Identifier: MIT
#include "monitor/monitor_text.h"

#include "catalogue/number_text.h"
#include "monitor/frame_decoding.h"

namespace {

std::string Two(int64_t v) {
    return std::string{static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
}

std::string Count(uint64_t v) {
    return FormatInteger(static_cast<int64_t>(v));
}

std::string Ms(uint64_t us) {
    return FormatFixed(static_cast<double>(us) / 1000.0, 1) + " мс";
}

}  // namespace

std::string TimeOfDayText(int64_t localMs) {
    constexpr int64_t kDayMs = 86'400'000;
    const int64_t ms = ((localMs % kDayMs) + kDayMs) % kDayMs;
    const int64_t seconds = ms / 1000;
    const int64_t milli = ms % 1000;
    return Two(seconds / 3600) + ":" + Two(seconds / 60 % 60) + ":" + Two(seconds % 60) + "." +
           Two(milli / 10) + static_cast<char>('0' + milli % 10);
}

FrameRow MakeFrameRow(const TrafficFrame& frame, int64_t localMsAtZero) {
    FrameRow row;
    row.time = TimeOfDayText(localMsAtZero + static_cast<int64_t>(frame.timeUs / 1000));
    row.direction = frame.direction == TrafficDirection::kSent ? "→" : "←";
    row.hex = HexBytes(frame.bytes);
    row.decoded = DescribeFrame(frame);
    row.failed = IsFailedFrame(frame);
    return row;
}

std::string FrameRowLine(const FrameRow& row) {
    return row.time + "\t" + row.direction + "\t" + row.hex + "\t" + row.decoded +
           (row.failed ? "\tсбой" : "");
}

std::vector<std::string> StatisticsLines(const TrafficStatistics& s) {
    std::vector<std::string> lines;
    lines.push_back("Запросов: " + Count(s.requests) + ", хороших ответов: " +
                    Count(s.goodAnswers) + ", без ответа: " + Count(s.noAnswer) +
                    ", коротких или искажённых: " + Count(s.shortOrGarbled) +
                    ", ошибок контрольной суммы: " + Count(s.checksumErrors));
    if (!s.modbusExceptions.empty()) {
        std::string line = "Исключения Modbus:";
        for (const auto& [code, count] : s.modbusExceptions) {
            line +=
                " " + Count(code) + " (" + ModbusExceptionName(code) + ") — " + Count(count) + ";";
        }
        line.pop_back();
        lines.push_back(line);
    }
    if (!s.iecReceiveCodes.empty()) {
        std::string line = "Коды приёма IEC-101:";
        for (const auto& [code, count] : s.iecReceiveCodes) {
            line += " " + ReceiveCodeName(code) + " — " + Count(count) + ";";
        }
        line.pop_back();
        lines.push_back(line);
    }
    std::string polls = "Опросов в секунду: " + FormatFixed(s.PollsPerSecond(), 2);
    if (s.pollPeriodMs != 0) {
        polls += " при периоде " + Count(s.pollPeriodMs) + " мс (" +
                 FormatFixed(s.TargetPollsPerSecond(), 2) + ")";
    }
    lines.push_back(polls);
    if (s.responses > 0) {
        lines.push_back("Время до ответа: мин " + Ms(s.responseMinUs) + ", сред " +
                        Ms(s.responseTotalUs / s.responses) + ", макс " + Ms(s.responseMaxUs));
    } else {
        lines.push_back("Время до ответа: ответов не было");
    }
    if (s.droppedFrames > 0) {
        lines.push_back("Старых кадров отброшено: " + Count(s.droppedFrames));
    }
    return lines;
}
