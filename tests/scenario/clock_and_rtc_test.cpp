// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"
#include "platform/calendar.h"
#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"

namespace {

// The last write of the program whose function byte (after the address) is the given one.
std::optional<std::vector<uint8_t>> LastRtuWrite(const VirtualLine& line, uint8_t function) {
    for (auto it = line.Writes().rbegin(); it != line.Writes().rend(); ++it) {
        if (it->bytes.size() > 2 && it->bytes[1] == function) {
            return it->bytes;
        }
    }
    return std::nullopt;
}

std::vector<std::string> Texts(const VirtualTimeView& view) {
    std::vector<std::string> texts;
    for (const auto& m : view.messages) {
        texts.push_back(m.text);
    }
    return texts;
}

}  // namespace

TEST(ClockSync, RtuWritesTheTimeRecordToSlaveOneAndRestartsPolling) {
    // Wednesday 2024-03-13 12:00:00 UTC, local UTC+3.
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));  // clock register 0x0107
    bench.Start();
    bench.RunTicks(2);
    bench.line.ClearWrites();
    bench.controller.OnSyncClock();

    EXPECT_TRUE(bench.view.messages.empty()) << Texts(bench.view)[0];
    EXPECT_EQ(bench.device.clockWrites, 1);
    const auto request = LastRtuWrite(bench.line, 16);
    ASSERT_TRUE(request.has_value());
    const std::vector<uint8_t>& r = *request;
    ASSERT_EQ(r.size(), 2u + 2 + 11 + 2);
    EXPECT_EQ(r[0], 1);  // slave 1, whatever the transducer's own address
    EXPECT_EQ(r[2], 0x01);
    EXPECT_EQ(r[3], 0x07);
    EXPECT_EQ(std::vector<uint8_t>(r.begin() + 4, r.begin() + 7),
              (std::vector<uint8_t>{0x00, 0x04, 0x08}));
    const unsigned ms = unsigned{r[7]} << 8 | r[8];
    EXPECT_LE(ms % 1000, 10u);        // taken at the start of a second
    EXPECT_EQ(r[9], 15);              // local hour
    EXPECT_EQ(r[11], 3);              // March
    EXPECT_EQ(r[12], (3 << 5) | 13);  // Wednesday, 13th
    EXPECT_EQ(r[13], 0);
    EXPECT_EQ(r[14], 24);
    // Polling goes on without a new configuration read.
    EXPECT_TRUE(bench.view.timerArmed);
    EXPECT_EQ(bench.device.configurationReads, 1);
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Запрос данных");
}

TEST(ClockSync, GmtSendsUtcAndSundayIsSeven) {
    // Sunday 2024-03-17 10:00:00 UTC.
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"), 1'710'669'600'000);
    bench.controller.OnTimeBaseChanged(false);
    bench.Start();
    bench.controller.OnSyncClock();
    EXPECT_EQ(bench.view.statusHistory.back(), "Запрос данных");
    const auto request = LastRtuWrite(bench.line, 16);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ((*request)[9], 10);  // UTC hour
    EXPECT_EQ((*request)[12] >> 5, 7);
    EXPECT_NE(std::find(bench.view.statusHistory.begin(), bench.view.statusHistory.end(),
                        "Синхронизация RTC"),
              bench.view.statusHistory.end());
    // The transducer's clock now reads UTC.
    EXPECT_EQ(bench.device.ClockTime().hour, 10);
}

TEST(ClockSync, AsciiSyncAndItsFailures) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ20"));  // ASCII, clock at 0x0106
    bench.Start();
    bench.controller.OnSyncClock();
    EXPECT_TRUE(bench.view.messages.empty());
    EXPECT_EQ(bench.device.clockWrites, 1);
    EXPECT_EQ(bench.line.Writes().back().bytes.front(), ':');

    bench.device.Faults().silent = true;
    bench.controller.OnSyncClock();
    EXPECT_EQ(Texts(bench.view), std::vector<std::string>{"Ошибка связи"});
    EXPECT_TRUE(bench.view.timerArmed);  // polling restarted all the same
}

TEST(ClockSync, RtuWithoutAnswerAndWithoutClock) {
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"));
    bench.Start();
    bench.device.Faults().silent = true;
    bench.controller.OnSyncClock();
    EXPECT_EQ(Texts(bench.view), std::vector<std::string>{"Ошибка при синхронизации часов"});

    ScenarioBench noClock(PolmiraVariant(), SteadyProfile("TQ23"));
    noClock.Start();
    const size_t writes = noClock.line.Writes().size();
    noClock.controller.OnSyncClock();
    EXPECT_EQ(Texts(noClock.view),
              std::vector<std::string>{"Выбранная конфигурация не поддерживает время"});
    EXPECT_TRUE(noClock.view.timerArmed);  // the timer keeps running
    EXPECT_EQ(noClock.line.Writes().size(), writes);
}

TEST(ClockSync, ClosedPortGivesThePortMessageAndLeavesTheTimerStopped) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
    bench.Start();
    bench.channel.ClosePort();
    bench.controller.OnSyncClock();
    EXPECT_EQ(Texts(bench.view), std::vector<std::string>{"Не могу открыть ttyV0"});
    EXPECT_FALSE(bench.view.timerArmed);
    bench.channel.portName = "НЕТ";
    bench.controller.OnSyncClock();
    EXPECT_EQ(bench.view.messages.back().text, "Не выбран COM порт");
}

TEST(ClockSync, ModeTwoOnlyRearmsTheTimer) {
    SimProfile profile = SteadyProfile("TQ21");
    profile.config.ExchangeMode = ExchangeMode::kIec101Prepared;
    RebuildProfileConfig(profile);
    ScenarioBench bench(PolmiraVariant(), profile);
    bench.Start();
    EXPECT_TRUE(bench.view.timerArmed);
    const size_t writes = bench.line.Writes().size();
    bench.controller.OnSyncClock();
    EXPECT_TRUE(bench.view.timerArmed);
    EXPECT_TRUE(bench.view.messages.empty());
    EXPECT_EQ(bench.line.Writes().size(), writes);
    // Mode 2 exchanges nothing per tick and every tick is good.
    bench.RunTicks(3);
    EXPECT_EQ(bench.line.Writes().size(), writes);
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine].find("ошибка"), std::string::npos);
}

TEST(RtcTest, PositiveAnswerStartsTheTestMode) {
    SimProfile profile = SteadyProfile("TQ21");
    profile.config.linkAddress = 0x0102;
    RebuildProfileConfig(profile);
    ScenarioBench bench(CalvenaVariant(), profile);
    bench.Start();
    bench.RunTicks(1);
    bench.controller.OnRtcTest();

    const auto request = LastRtuWrite(bench.line, kFunctionRtcTest);
    ASSERT_TRUE(request.has_value());
    const std::vector<uint8_t> access(kRtcTestAccessValue.begin(), kRtcTestAccessValue.end());
    EXPECT_EQ(*request, BuildRtuRequest(0x02, 0x76, 0, &access));
    EXPECT_EQ((*request)[0], 0x02);
    EXPECT_EQ((*request)[1], 0x76);
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_EQ(bench.view.messages[0].text, "Запущен режим проверки RTC");
    EXPECT_EQ(bench.view.messages[0].caption, "RTC test");
    EXPECT_EQ(bench.view.messages[0].icon, MessageIcon::kNone);
    EXPECT_TRUE(bench.device.rtcTestMode);
    EXPECT_FALSE(bench.view.timerArmed);
    EXPECT_FALSE(bench.port.IsOpen());
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Ожидание");
    EXPECT_FALSE(bench.view.enabled[ViewControl::kRtcTest]);
}

TEST(RtcTest, SilentTransducerGivesTheErrorWithoutARequest) {
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"));
    bench.Start();
    bench.device.Faults().silent = true;
    bench.controller.OnRtcTest();
    EXPECT_FALSE(LastRtuWrite(bench.line, kFunctionRtcTest).has_value());
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_EQ(bench.view.messages[0].text, "Ошибка при запуске режима проверки RTC");
    EXPECT_EQ(bench.view.messages[0].icon, MessageIcon::kExclamation);
    EXPECT_FALSE(bench.port.IsOpen());
}

TEST(RtcTest, ExceptionAnswerAndMissingPortAreFailures) {
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"));
    bench.Start();
    bench.device.Faults().refuseRtcTest = true;  // answers with function 0xF6
    bench.controller.OnRtcTest();
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_EQ(bench.view.messages[0].text, "Ошибка при запуске режима проверки RTC");
    EXPECT_FALSE(bench.device.rtcTestMode);

    bench.channel.portName = "ttyUSB9";
    bench.controller.OnRtcTest();
    ASSERT_EQ(bench.view.messages.size(), 2u);
    EXPECT_EQ(bench.view.messages[1].text, "Нет доступа к ttyUSB9");
    EXPECT_EQ(bench.view.messages[1].caption, "Ошибка");
}
