// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <regex>

#include "channel/modbus_frame.h"
#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"
#include "support/log_text.h"

namespace {

using Phase = SimulatedTransducer::Phase;

const std::vector<std::string> kFullStartTexts = {
    "Ожидание",
    "Чтение конфигурации",
    "Чтение конфигурации прошло успешно",
    "Ожидание подключения к преобразователю .",
    "Ожидание подключения к преобразователю ..",
    "Ожидание подключения к преобразователю ...",
    "Запрос данных",
};

// Whether the program wrote exactly these bytes in one write.
bool Wrote(const VirtualLine& line, const std::vector<uint8_t>& bytes) {
    for (const auto& w : line.Writes()) {
        if (w.bytes == bytes) {
            return true;
        }
    }
    return false;
}

std::string LogOf(const ScenarioBench& bench, const std::string& path) {
    auto it = bench.files.files.find(path);
    return it == bench.files.files.end() ? std::string() : it->second;
}

}  // namespace

TEST(ModbusPolling, PolmiraFullStartReadsChangesOverAndPolls) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));  // RTU, slave 3, 38400,E,8,1
    const uint64_t t0 = bench.clock.NowUs();
    bench.Start();

    EXPECT_EQ(bench.view.statusHistory, kFullStartTexts);
    EXPECT_TRUE(bench.view.timerArmed);
    EXPECT_EQ(bench.view.timerPeriodMs, 500u);
    EXPECT_EQ(bench.view.focus, ViewControl::kStop);
    EXPECT_FALSE(bench.view.enabled[ViewControl::kStart]);
    EXPECT_TRUE(bench.view.messages.empty());
    EXPECT_EQ(bench.view.texts[ViewText::kModelName], "TQ21-1");
    EXPECT_EQ(bench.device.configurationReads, 1);
    EXPECT_EQ(bench.device.CurrentPhase(), Phase::kOwnSettings);
    // Start takes the scan, 0.1 s after opening, 1 s for the record, 0.5 s after function 127
    // and the five seconds of the change-over.
    const uint64_t startUs = bench.clock.NowUs() - t0;
    EXPECT_GT(startUs, 6'600'000u);
    EXPECT_LT(startUs, 8'500'000u);

    // The end of the configuration phase, and the first poll of the one group (11 registers
    // from 0x0100: seven values and the clock).
    EXPECT_TRUE(Wrote(bench.line, {0x01, 0x7F, 0x00, 0x00, 0x30}));
    const std::vector<uint8_t> count = {0x00, 0x0B};
    EXPECT_TRUE(Wrote(bench.line, BuildRtuRequest(3, 4, 0x0100, &count)));
    EXPECT_EQ(bench.line.Writes().back().settings.baudRate, 38400u);
    EXPECT_EQ(bench.controller.pollPlan().groupCount, 1);

    bench.RunTicks(2);
    EXPECT_EQ(bench.view.values[0], "230.0");  // Uac1
    EXPECT_EQ(bench.view.values[1], "220.0");  // Uac2
    EXPECT_EQ(bench.view.values[2], "50.00");  // F
    EXPECT_EQ(bench.view.values[3], "110.0");  // Udc1
    EXPECT_EQ(bench.view.values[4], "24.00");  // Udc2
    EXPECT_EQ(bench.view.values[6], "231.0");  // Uacdc1
    EXPECT_EQ(bench.view.values[7], "221.0");  // Uacdc2
    EXPECT_EQ(bench.view.values[5], "-----");  // no caption, no value
    EXPECT_EQ(bench.view.captions[0], "Uac1, V");
    EXPECT_EQ(bench.view.captions[2], "F, Hz");
    // The transducer keeps local time (UTC+3 here): 15:00 and some seconds.
    EXPECT_TRUE(std::regex_match(bench.view.texts[ViewText::kTransducerTime],
                                 std::regex(R"(15 : 00 : \d{1,2}\.\d\d)")))
        << bench.view.texts[ViewText::kTransducerTime];
    EXPECT_TRUE(std::regex_match(bench.view.texts[ViewText::kComputerTime],
                                 std::regex(R"(15 : 00 : \d{1,2}\.\d\d)")));
    // Two good ticks: the square blinks with the tick counter's parity.
    ASSERT_GE(bench.view.statusHistory.size(), 9u);
    EXPECT_EQ(bench.view.statusHistory[7], "Запрос данных ■");
    EXPECT_EQ(bench.view.statusHistory[8], "Запрос данных ");
}

TEST(ModbusPolling, CalvenaShowsRawCodesAndLocksOnlyAfterTheRead) {
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"));
    bench.Start();
    EXPECT_EQ(bench.view.statusHistory, kFullStartTexts);
    // "Чтение конфигурации" appears only once the request went out, after the scan.
    EXPECT_GT(bench.view.statusTimesUs[1] - bench.view.statusTimesUs[0], 300'000u);
    EXPECT_FALSE(bench.view.enabled[ViewControl::kStart]);
    EXPECT_TRUE(bench.view.enabled[ViewControl::kSyncClock]);
    EXPECT_TRUE(bench.view.enabled[ViewControl::kRtcTest]);
    EXPECT_FALSE(bench.view.focus.has_value());

    bench.RunTicks(1);
    EXPECT_EQ(bench.view.values[3], "30147");   // Uac1, code of 230 V
    EXPECT_EQ(bench.view.values[4], "28836");   // Uac2
    EXPECT_EQ(bench.view.values[2], "32768");   // F: the code read unsigned
    EXPECT_EQ(bench.view.captions[0], "Ia");    // never touched
    EXPECT_EQ(bench.view.captions[3], "Uac1");  // raw codes: no unit

    bench.controller.OnStop();
    EXPECT_FALSE(bench.view.enabled[ViewControl::kSyncClock]);
    EXPECT_FALSE(bench.view.enabled[ViewControl::kRtcTest]);
    EXPECT_TRUE(bench.view.enabled[ViewControl::kStart]);
}

TEST(ModbusPolling, LogRowsAreExactAndCarryTheTransducerClock) {
    for (const ProgramVariant* variant : {&PolmiraVariant(), &CalvenaVariant()}) {
        SCOPED_TRACE(variant->programName);
        ScenarioBench bench(*variant, SteadyProfile("TQ21"));
        bench.view.checked[ViewControl::kWriteToFile] = true;
        bench.view.logFileChoice = "log";
        bench.Start();
        bench.RunTicks(3);
        const std::string text = LogOf(bench, "log.txt");
        const bool polmira = variant == &PolmiraVariant();
        const std::string header =
            polmira ? "TQ21-1: 3\r\n\r\ntime           \tUac1, V    \tUac2, V    \tUdc1, V    \t"
                      "Udc2, V    \tUacdc1, V    \tUacdc2, V    \tF, Hz    \t\r\n"
                    : "TQ21-1: 3\r\n\r\ntime           \tUac1    \tUac2    \tUdc1    \tUdc2    \t"
                      "Uacdc1    \tUacdc2    \tF    \t\r\n";
        const std::string cells =
            polmira
                ? "230.0    \t220.0    \t110.0    \t24.00    \t231.0    \t221.0    \t50.00    \t"
                : "30147    \t28836    \t14418    \t3146    \t30278    \t28967    \t32768    \t";
        ASSERT_EQ(text.substr(0, header.size()), header);
        const std::regex row("13_03_2024 15:00:\\d{1,2},\\d\\d\t" +
                             std::regex_replace(cells, std::regex(R"([.])"), R"(\.)"));
        const std::vector<std::string> rows = LinesOf(text.substr(header.size()));
        ASSERT_EQ(rows.size(), 3u);
        for (const std::string& r : rows) {
            EXPECT_TRUE(std::regex_match(r, row)) << r;
        }
        EXPECT_NE(text.substr(text.size() - 2), "\r\n");  // the last line has no line end
    }
}

TEST(ModbusPolling, FailedPollsShowTheErrorAndPlaceholderCellsThenRecover) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
    bench.view.checked[ViewControl::kWriteToFile] = true;
    bench.view.logFileChoice = "log.txt";
    bench.Start();
    bench.RunTicks(1);
    ASSERT_EQ(bench.view.values[0], "230.0");

    bench.device.Faults().silent = true;
    bench.RunTicks(2);
    // The values keep their last state; the status shows the error with the blinking square.
    EXPECT_EQ(bench.view.values[0], "230.0");
    const auto& status = bench.view.statusHistory;
    EXPECT_EQ(status[status.size() - 2], "Запрос данных - ошибка");  // tick counter 3
    EXPECT_EQ(status.back(), "Запрос данных - ошибка ■");            // tick counter 4
    const std::string text = LogOf(bench, "log.txt");
    EXPECT_NE(text.find("\r\n13_03_2024 15:00:"), std::string::npos);
    const std::string placeholders(7 * 10, ' ');
    std::string expected;
    for (int i = 0; i < 7; ++i) {
        expected += "-----    \t";
    }
    // The failed rows begin with the computer's time stamp and hold one placeholder per column.
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\r\n13_03_2024 15:00:\\d\\d,\\d\t" + expected + "\r\n")))
        << text;

    bench.device.Faults().silent = false;
    bench.RunTicks(2);
    EXPECT_EQ(bench.view.statusHistory.back().rfind("Запрос данных", 0), 0u);
    EXPECT_EQ(bench.view.statusHistory.back().find("ошибка"), std::string::npos);
}

TEST(ModbusPolling, StopAndStartAgainReadsTheConfigurationAgain) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
    bench.Start();
    bench.RunTicks(2);
    bench.controller.OnStop();
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Ожидание");
    EXPECT_FALSE(bench.view.timerArmed);
    EXPECT_FALSE(bench.port.IsOpen());
    EXPECT_TRUE(bench.view.enabled[ViewControl::kStart]);
    EXPECT_FALSE(bench.view.enabled[ViewControl::kDelayButton]);

    // Ticks already queued when Stop killed the timer change nothing.
    const size_t writes = bench.line.Writes().size();
    bench.controller.OnTimer(1);
    EXPECT_EQ(bench.line.Writes().size(), writes);

    bench.view.statusHistory.clear();
    bench.Start();
    EXPECT_EQ(bench.device.configurationReads, 2);
    EXPECT_EQ(bench.device.wakeUps, 2);
    std::vector<std::string> again(kFullStartTexts.begin() + 1, kFullStartTexts.end());
    EXPECT_EQ(bench.view.statusHistory, again);
    bench.RunTicks(1);
    EXPECT_EQ(bench.view.values[0], "230.0");
}

TEST(ModbusPolling, RestartWithoutStopKeepsTheConfiguration) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
    bench.Start();
    bench.RunTicks(1);
    bench.view.statusHistory.clear();
    const uint64_t before = bench.clock.NowUs();
    bench.Start();  // as the clock synchronisation restarts polling
    EXPECT_LT(bench.clock.NowUs() - before, 1'000'000u);
    EXPECT_EQ(bench.device.configurationReads, 1);
    EXPECT_EQ(bench.view.statusHistory, std::vector<std::string>{"Запрос данных"});
    EXPECT_EQ(bench.view.values[0], "-----");  // cleared by Start
    bench.RunTicks(1);
    EXPECT_EQ(bench.view.values[0], "230.0");
}

TEST(ModbusPolling, PeriodBelowFiftyOrNotANumberBecomesFifty) {
    for (const char* text : {"20", "abc", "", "-500"}) {
        ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"));
        bench.view.texts[ViewText::kPeriodField] = text;
        bench.Start();
        EXPECT_EQ(bench.controller.pollPeriod(), 50u) << text;
        EXPECT_EQ(bench.view.texts[ViewText::kPeriodField], "50");
        EXPECT_EQ(bench.view.timerPeriodMs, 50u);
        bench.RunTicks(10);
        EXPECT_EQ(bench.view.values[3], "30147");
    }
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"));
    bench.view.texts[ViewText::kPeriodField] = "750";
    bench.Start();
    EXPECT_EQ(bench.view.timerPeriodMs, 750u);
}

// The window timer takes at most 2^31 - 1 ms: a longer period is cut to that, and polling
// starts as with any other period.
TEST(ModbusPolling, PeriodBeyondTheTimersRangeTakesTheLongestItHas) {
    for (const char* text : {"2147483647", "2147483648", "99999999999"}) {
        SCOPED_TRACE(text);
        ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
        bench.view.texts[ViewText::kPeriodField] = text;
        bench.Start();
        EXPECT_EQ(bench.controller.pollPeriod(), 2'147'483'647u);
        EXPECT_EQ(bench.view.timerPeriodMs, 2'147'483'647u);
        EXPECT_TRUE(bench.view.timerArmed);
        EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Запрос данных");
    }
}

// A record whose value type says 32-bit values, polled over Modbus with code names: the log's
// titles name the values as the window captions them.
TEST(ModbusPolling, CodeNamesOfFloatValuesAreTitledAsTheyAreCaptioned) {
    SimProfile profile = SteadyProfile("TQ41");
    profile.config.iecValueType = 13;  // short floats
    RebuildProfileConfig(profile);
    ASSERT_TRUE(profile.config.valueIsFloat);
    ScenarioBench bench(PolmiraVariant(), profile);
    bench.view.checked[ViewControl::kWriteToFile] = true;
    bench.view.logFileChoice = "float.txt";
    bench.Start();
    bench.RunTicks(2);
    const std::string text = LogOf(bench, "float.txt");
    const size_t titles = text.find("time");
    const std::string header = text.substr(titles, text.find("\r\n", titles) - titles);
    EXPECT_EQ(header.find("aU"), std::string::npos) << header;
    EXPECT_NE(header.find("\tUa, V    \tUb, V    \tUc, V    \t"), std::string::npos) << header;
    EXPECT_EQ(bench.view.captions[0], "Ua, V");
}

TEST(ModbusPolling, ConfigurationReadFailuresStopWithTheirMessage) {
    struct Case {
        const char* name;
        std::function<void(ScenarioBench&)> arrange;
        std::string message;
        std::string reason;  // the message box's second line
    };
    const auto refused = [](OpenFailure failure) {
        return [failure](ScenarioBench& b) { b.line.RefuseOpen(failure); };
    };
    using Kind = OpenFailure::Kind;
    const std::vector<Case> cases = {
        {"port missing", [](ScenarioBench& b) { b.channel.portName = "ttyUSB7"; },
         "Не могу открыть ttyUSB7", "Такого порта нет в системе"},
        {"port unplugged", [](ScenarioBench& b) { b.line.SetPresent(false); },
         "Не могу открыть ttyV0", "Такого порта нет в системе"},
        {"port held", refused({Kind::kBusy, "", "", ""}), "Не могу открыть ttyV0",
         "Порт занят другой программой"},
        {"no permission", refused({Kind::kNoPermission, "", "dialout", "alice"}),
         "Не могу открыть ttyV0",
         "Нет прав на порт. Исправить: sudo usermod -aG dialout alice (и войти в систему "
         "заново)"},
        {"system error", refused({Kind::kOther, "Input/output error", "", ""}),
         "Не могу открыть ttyV0", "Input/output error"},
        {"nobody there", [](ScenarioBench& b) { b.device.Faults().silent = true; },
         "Нет связи с преобразователем", ""},
        {"no record", [](ScenarioBench& b) { b.device.Faults().ignoreConfigurationRequests = 2; },
         "Не могу прочитать конфигурацию ", ""},
        {"truncated record", [](ScenarioBench& b) { b.device.Faults().recordLength = 100; },
         "Не могу прочитать конфигурацию ", ""},
    };
    for (const ProgramVariant* variant : {&PolmiraVariant(), &CalvenaVariant()}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(variant->programName + ": " + c.name);
            ScenarioBench bench(*variant, SteadyProfile("TQ21"));
            c.arrange(bench);
            bench.Start();
            ASSERT_EQ(bench.view.messages.size(), 1u);
            EXPECT_EQ(bench.view.messages[0].text,
                      c.reason.empty() ? c.message : c.message + "\n" + c.reason);
            EXPECT_EQ(bench.view.messages[0].caption, "Ошибка");
            // The failure text stood in the status line, on one line, then Stop put
            // "Ожидание" back.
            const auto& status = bench.view.statusHistory;
            ASSERT_GE(status.size(), 2u);
            EXPECT_EQ(status[status.size() - 2], c.message);
            EXPECT_EQ(status.back(), "Ожидание");
            EXPECT_FALSE(bench.view.timerArmed);
            EXPECT_FALSE(bench.controller.configReadDone());
            EXPECT_FALSE(bench.port.IsOpen());
            EXPECT_TRUE(bench.view.enabled[ViewControl::kStart]);
        }
    }
}

TEST(ModbusPolling, UnansweredFirstConfigurationRequestIsRepeatedOnce) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
    bench.device.Faults().ignoreConfigurationRequests = 1;
    bench.Start();
    EXPECT_TRUE(bench.view.messages.empty());
    EXPECT_TRUE(bench.view.timerArmed);
    EXPECT_EQ(bench.device.configurationReads, 1);
}

TEST(ModbusPolling, LogFileThatCannotBeCreatedStopsPolling) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
    bench.view.checked[ViewControl::kWriteToFile] = true;
    bench.view.logFileChoice = "/readonly/log";
    bench.files.uncreatable.insert("/readonly/log.txt");
    bench.Start();
    bench.RunTicks(1);
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_EQ(bench.view.messages[0].text, "Не могу создать файл, /readonly/log.txt");
    EXPECT_EQ(bench.view.messages[0].icon, MessageIcon::kExclamation);
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Ожидание");
    EXPECT_FALSE(bench.view.timerArmed);
    EXPECT_TRUE(bench.view.checked[ViewControl::kWriteToFile]);  // the box stays as it was
}

TEST(ModbusPolling, CancelledFileChoiceTurnsLoggingOffForThisRun) {
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"));
    bench.view.checked[ViewControl::kWriteToFile] = true;
    bench.view.logFileChoice.reset();
    bench.Start();
    bench.RunTicks(2);
    EXPECT_TRUE(bench.files.files.empty());
    EXPECT_FALSE(bench.view.checked[ViewControl::kWriteToFile]);
}

TEST(ModbusPolling, MidnightBeginsANewLogFile) {
    // 23:59:50 local time (UTC+3) when the window opens.
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ23"), 1'710'363'590'000);
    bench.view.checked[ViewControl::kWriteToFile] = true;
    bench.view.logFileChoice = "day.txt";
    bench.Start();
    bench.RunTicks(20);  // Start takes about 7.5 s; ten seconds of polling cross midnight
    ASSERT_EQ(bench.files.files.size(), 2u);
    const auto second = std::next(bench.files.files.begin());
    EXPECT_TRUE(std::regex_match(second->first, std::regex(R"(day_14_03__00_00_0\d\.txt)")))
        << second->first;
    EXPECT_EQ(second->second.rfind("TQ23-1: 5\r\n\r\ntime", 0), 0u);
    EXPECT_NE(second->second.find("\r\n14_03_2024 00:00:"), std::string::npos);
    const std::string& first = bench.files.files["day.txt"];
    EXPECT_NE(first.find("\r\n13_03_2024 23:59:"), std::string::npos);
    EXPECT_NE(first.substr(first.size() - 2), "\r\n");
}

TEST(ModbusPolling, TimeStampsFollowTheTimeBase) {
    // TQ23 keeps no clock: the rows carry the computer's time and the transducer time field
    // shows the placeholder.
    for (const bool local : {true, false}) {
        ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ23"));
        bench.controller.OnTimeBaseChanged(local);
        bench.view.checked[ViewControl::kWriteToFile] = true;
        bench.view.logFileChoice = "t.txt";
        bench.Start();
        bench.RunTicks(1);
        const std::string text = LogOf(bench, "t.txt");
        const std::string hour = local ? "15" : "12";
        EXPECT_TRUE(
            std::regex_search(text, std::regex("\r\n13_03_2024 " + hour + ":00:\\d\\d,\\d\t")))
            << text;
        EXPECT_EQ(bench.view.texts[ViewText::kTransducerTime], "xx : xx : xx.xx");
        EXPECT_EQ(bench.view.texts[ViewText::kComputerTime].substr(0, 2), hour);
    }
}

TEST(ModbusPolling, AsciiTransducerIsPolledInAscii) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ20"));  // ASCII, slave 2, 9600,N
    bench.Start();
    bench.RunTicks(2);
    const auto& last = bench.line.Writes().back();
    EXPECT_EQ(last.bytes.front(), ':');
    EXPECT_EQ(std::string(last.bytes.begin(), last.bytes.begin() + 5), ":0204");
    EXPECT_EQ(bench.view.values[0], "2.500");  // Iac1: 2.5 A, three decimals
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine].find("ошибка"), std::string::npos);
}

TEST(ModbusPolling, ReceiveOnlyModeSendsNothing) {
    SimProfile profile = SteadyProfile("TQ43");
    profile.config.ExchangeMode = ExchangeMode::kReceiveOnly;
    RebuildProfileConfig(profile);
    ScenarioBench bench(CalvenaVariant(), profile);
    bench.Start();
    const size_t writes = bench.line.Writes().size();
    bench.RunTicks(4);
    EXPECT_EQ(bench.line.Writes().size(), writes);
    // The transducer's own frames are collected and thrown away: good ticks, no values.
    EXPECT_EQ(bench.view.values[3], "-----");
    bench.device.Faults().silent = true;
    bench.RunTicks(2);
    EXPECT_NE(bench.view.texts[ViewText::kStatusLine].find("ошибка"), std::string::npos);
}

TEST(ModbusPolling, StopDuringStartEndsThatStart) {
    for (const uint64_t stopAfterMs : {1000u, 5000u, 7000u}) {
        ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
        bench.view.At(bench.clock.NowUs() + stopAfterMs * 1000, [&] { bench.controller.OnStop(); });
        bench.Start();
        EXPECT_FALSE(bench.view.timerArmed) << stopAfterMs;
        EXPECT_FALSE(bench.controller.IsPolling());
        EXPECT_FALSE(bench.port.IsOpen());
        EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Ожидание");
        EXPECT_TRUE(bench.view.messages.empty());
        bench.RunTicks(3);
        EXPECT_EQ(bench.view.values[0], "-----");
    }
}

TEST(ModbusPolling, NoStartInsideAStart) {
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ21"));
    // Calvena leaves "Старт" enabled until the record has been read: a second click then.
    bench.view.At(bench.clock.NowUs() + 1'500'000, [&] { bench.controller.OnStart(); });
    bench.Start();
    EXPECT_EQ(bench.device.configurationReads, 1);
    EXPECT_EQ(bench.device.wakeUps, 1);
    EXPECT_TRUE(bench.view.timerArmed);
}
