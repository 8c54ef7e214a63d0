// SPDX-License-Identifier: MIT
// The line monitor's texts: the time of day of a frame, its row, the session statistics.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iec101/ft12_frame.h"
#include "monitor/monitor_text.h"
#include "support/hex.h"

TEST(MonitorText, TimeOfDayWrapsAtMidnightInBothDirections) {
    constexpr int64_t kDay = 86'400'000;
    const std::pair<int64_t, const char*> cases[] = {
        {0, "00:00:00.000"},
        {kDay - 1, "23:59:59.999"},
        {kDay, "00:00:00.000"},
        {((13 * 60 + 34) * 60 + 56) * 1000 + 7, "13:34:56.007"},
        {1'710'331'200'000 + 10 * 3'600'000 + 45, "22:00:00.045"},  // 12:00 UTC plus ten hours
        {-1, "23:59:59.999"},
        {-kDay - 1, "23:59:59.999"},
        {-3'600'000 + 250, "23:00:00.250"},
    };
    for (const auto& [ms, text] : cases) {
        EXPECT_EQ(TimeOfDayText(ms), text) << ms;
    }
}

TEST(MonitorText, FrameRowAndItsClipboardLine) {
    const std::vector<uint8_t> bytes = Hex("10 0B 01 0C 16");
    TrafficFrame frame;
    frame.kind = FrameKind::kFt12;
    frame.direction = TrafficDirection::kReceived;
    frame.timeUs = 2'345'678;  // 2.345 s after time stamp 0
    frame.result = kReceiveOk;
    frame.bytes = bytes;
    // Time stamp 0 at 23:59:59.000 local: the frame lies past midnight.
    const int64_t zero = 1'710'331'200'000 + 12 * 3'600'000 - 1000;
    FrameRow row = MakeFrameRow(frame, zero);
    EXPECT_EQ(row.time, "00:00:01.345");
    EXPECT_EQ(row.direction, "←");
    EXPECT_EQ(row.hex, "10 0B 01 0C 16");
    EXPECT_FALSE(row.failed);
    EXPECT_EQ(FrameRowLine(row), "00:00:01.345\t←\t10 0B 01 0C 16\t" + row.decoded);

    frame.result = kReceiveRejected;
    frame.direction = TrafficDirection::kSent;
    row = MakeFrameRow(frame, zero);
    EXPECT_EQ(row.direction, "→");
    EXPECT_FALSE(row.failed);  // a sent frame is judged by its bytes
    frame.direction = TrafficDirection::kReceived;
    row = MakeFrameRow(frame, zero);
    EXPECT_TRUE(row.failed);
    EXPECT_EQ(FrameRowLine(row), "00:00:01.345\t←\t10 0B 01 0C 16\t" + row.decoded + "\tсбой");
}

TEST(MonitorText, StatisticsLines) {
    TrafficStatistics s;
    EXPECT_EQ(StatisticsLines(s),
              (std::vector<std::string>{
                  "Запросов: 0, хороших ответов: 0, без ответа: 0, коротких или искажённых: 0, "
                  "ошибок контрольной суммы: 0",
                  "Опросов в секунду: 0.00", "Время до ответа: ответов не было"}));

    s.requests = 12;
    s.goodAnswers = 9;
    s.noAnswer = 1;
    s.shortOrGarbled = 1;
    s.checksumErrors = 1;
    s.modbusExceptions = {{2, 3}, {4, 1}};
    s.iecReceiveCodes = {{kReceiveSingleAck, 1}, {kReceiveOk, 5}, {kReceiveNoData, 2}, {46, 1}};
    s.pollRequests = 11;
    s.firstPollUs = 1'000'000;
    s.lastPollUs = 5'000'000;  // ten polls in 4 s
    s.pollPeriodMs = 500;
    s.responses = 4;
    s.responseTotalUs = 40'000;
    s.responseMinUs = 5'500;
    s.responseMaxUs = 20'000;
    s.droppedFrames = 7;
    EXPECT_EQ(
        StatisticsLines(s),
        (std::vector<std::string>{
            "Запросов: 12, хороших ответов: 9, без ответа: 1, коротких или искажённых: 1, "
            "ошибок контрольной суммы: 1",
            "Исключения Modbus: 2 (недопустимый адрес данных) — 3; 4 (отказ устройства) — 1",
            "Коды приёма IEC-101: принято — 5; нет данных — 2; неизвестный общий адрес — 1; E5 — 1",
            "Опросов в секунду: 2.50 при периоде 500 мс (2.00)",
            "Время до ответа: мин 5.5 мс, сред 10.0 мс, макс 20.0 мс",
            "Старых кадров отброшено: 7"}));
}
