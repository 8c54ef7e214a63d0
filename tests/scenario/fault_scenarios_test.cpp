// SPDX-License-Identifier: MIT
// A bad line in virtual time: each fault of the simulated transducer, in both programs and in
// every exchange mode it applies to. A failed tick shows the error text, writes a row of
// placeholder cells and leaves the values on screen alone; once the line is clean polling
// recovers by itself, except after a reboot, which a new Start mends.

#include <gtest/gtest.h>

#include <regex>

#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"
#include "support/log_text.h"

namespace {

constexpr const char* kLogFile = "faults.txt";
constexpr const char* kMarker = "(last)";
constexpr const char* kTickMarker = "(tick)";

std::string ModeName(uint8_t mode) {
    return mode == 255 ? "Ascii" : mode == 0 ? "Rtu" : "Iec";
}

// TQ21 (seven 16-bit values and a clock) in a Modbus mode, or TQ51 (seven short floats) as an
// IEC 60870-5-101 station. The values move, so that a refresh shows.
SimProfile ProfileFor(uint8_t mode) {
    SimProfile profile = *FindProfile(mode == 1 ? "TQ51" : "TQ21");
    profile.config.ExchangeMode = ExchangeModeOf(mode);
    RebuildProfileConfig(profile);
    return profile;
}

bool IsErrorText(const std::string& status) {
    return status.find("ошибка") != std::string::npos;
}

std::string StatusFor(bool failed, uint16_t tickCounter) {
    const bool even = tickCounter % 2 == 0;
    if (failed) {
        return even ? "Запрос данных - ошибка ■" : "Запрос данных - ошибка";
    }
    return even ? "Запрос данных ■" : "Запрос данных ";
}

// Cells of a row after its time stamp.
std::vector<std::string> CellsOf(const std::string& row) {
    std::vector<std::string> cells;
    size_t pos = row.find('\t');
    while (pos != std::string::npos && pos + 1 < row.size()) {
        const size_t end = row.find('\t', pos + 1);
        cells.push_back(row.substr(pos + 1, end - pos - 1));
        pos = end;
    }
    return cells;
}

bool IsPlaceholderRow(const std::string& row, size_t columns) {
    const std::vector<std::string> cells = CellsOf(row);
    return cells.size() == columns &&
           std::all_of(cells.begin(), cells.end(),
                       [](const std::string& c) { return c == "-----    "; });
}

// A row of numbers, written with a decimal point whatever the process locale.
bool IsValueRow(const std::string& row, size_t columns) {
    static const std::regex number(R"(-?\d+(\.\d+)?    )");
    const std::vector<std::string> cells = CellsOf(row);
    return cells.size() == columns &&
           std::all_of(cells.begin(), cells.end(),
                       [](const std::string& c) { return std::regex_match(c, number); });
}

// What one tick did.
struct Tick {
    bool failed = false;
    std::string status;
    uint16_t counter = 0;
    bool valuesWritten = false;     // some value field changed
    std::vector<std::string> rows;  // log rows it added
    bool logWasOpen = false;        // the log file was open before it (opened by a first row)
};

// A program polling a faulty transducer, each tick recorded.
struct FaultRun {
    FaultRun(const ProgramVariant& variant, uint8_t exchangeMode)
        : bench(variant, ProfileFor(exchangeMode)),
          mode(exchangeMode),
          polmira(&variant == &PolmiraVariant()) {
        bench.view.onTimer = [this] { RecordedTick(); };
        bench.view.checked[ViewControl::kWriteToFile] = true;
        bench.view.logFileChoice = kLogFile;
    }

    // Start, then polling until values have been shown (IEC: past the first interrogation).
    void StartPolling() {
        bench.Start();
        ASSERT_TRUE(bench.view.timerArmed) << Messages();
        RunTicks(mode == 1 ? 12 : 3);
        ASSERT_TRUE(std::none_of(ticks.begin(), ticks.end(), [](const Tick& t) {
            return t.failed;
        })) << "the clean line already fails";
        ASSERT_NE(bench.view.values[ValueSlot()], "-----");
        ASSERT_EQ(bench.controller.pollPlan().groupCount, 1);
        ASSERT_GT(Columns(), 0u);
    }

    void RunTicks(int count) {
        const size_t until = ticks.size() + static_cast<size_t>(count);
        // IEC ticks speed up to 100 ms after the first interrogation: run period by period.
        for (int guard = 0; ticks.size() < until && guard < 10 * count + 10; ++guard) {
            bench.view.RunFor(bench.view.timerPeriodMs);
        }
    }

    // Lets the request of the last tick reach the transducer: a fault planned now touches the
    // next one.
    void Settle() { bench.view.RunFor(10); }

    // Marks the value fields, so that a tick that writes one shows.
    void MarkValues() {
        for (std::string& v : bench.view.values) {
            v = kMarker;
        }
    }

    void RecordedTick() {
        if (inTick_) {
            bench.controller.OnTimer(1);  // a tick inside a tick: ignored by the controller
            return;
        }
        inTick_ = true;
        // Every field is marked before the tick, so that a write shows even when it writes
        // the text that stood there; the fields it did not write get their text back.
        const auto shown = bench.view.values;
        bench.view.values.fill(kTickMarker);
        const size_t rowsBefore = Rows().size();
        const bool logWasOpen = bench.controller.log().IsOpen();
        bench.controller.OnTimer(1);
        Tick t;
        t.logWasOpen = logWasOpen;
        t.status = bench.view.Text(ViewText::kStatusLine);
        t.failed = IsErrorText(t.status);
        t.counter = bench.controller.tickCounter();
        for (size_t slot = 0; slot < shown.size(); ++slot) {
            if (bench.view.values[slot] == kTickMarker) {
                bench.view.values[slot] = shown[slot];
            } else {
                t.valuesWritten = true;
            }
        }
        const std::vector<std::string> rows = Rows();
        if (rows.size() > rowsBefore) {
            t.rows.assign(rows.begin() + static_cast<std::ptrdiff_t>(rowsBefore), rows.end());
        }
        ticks.push_back(t);
        inTick_ = false;
    }

    std::vector<std::string> Rows() const {
        const auto it = bench.files.files.find(kLogFile);
        return it == bench.files.files.end() ? std::vector<std::string>{} : RowsOf(it->second);
    }
    // The value columns of the log: the titles of its header line.
    size_t Columns() const {
        const auto it = bench.files.files.find(kLogFile);
        if (it == bench.files.files.end()) {
            return 0;
        }
        const std::string& text = it->second;
        const size_t titles = text.find("time");
        const size_t end = text.find("\r\n", titles);
        const std::string header = text.substr(titles, end - titles);
        const auto tabs = static_cast<size_t>(std::count(header.begin(), header.end(), '\t'));
        return tabs > 0 ? tabs - 1 : 0;
    }
    // The slot of the first voltage: Polmira's first slot, Calvena's "Ua".
    int ValueSlot() const { return polmira ? 0 : 3; }
    std::string Messages() const {
        std::string text;
        for (const auto& m : bench.view.messages) {
            text += m.text + "; ";
        }
        return text;
    }

    // Every tick from `from` on keeps the rules of the poll cycle.
    void CheckTicks(size_t from) {
        for (size_t i = from; i < ticks.size(); ++i) {
            const Tick& t = ticks[i];
            SCOPED_TRACE("tick " + std::to_string(i));
            EXPECT_EQ(t.status, StatusFor(t.failed, t.counter));
            if (t.failed) {
                EXPECT_FALSE(t.valuesWritten);
                // Placeholders go into an open log; a first row opens it only with values.
                ASSERT_EQ(t.rows.size(), t.logWasOpen ? 1u : 0u);
                for (const std::string& row : t.rows) {
                    EXPECT_TRUE(IsPlaceholderRow(row, Columns())) << row;
                }
            } else {
                EXPECT_LE(t.rows.size(), 1u);
                for (const std::string& row : t.rows) {
                    EXPECT_TRUE(IsValueRow(row, Columns())) << row;
                }
                EXPECT_EQ(t.rows.empty(), !t.valuesWritten);
            }
        }
    }

    size_t Failures(size_t from) const {
        return static_cast<size_t>(std::count_if(ticks.begin() + static_cast<std::ptrdiff_t>(from),
                                                 ticks.end(),
                                                 [](const Tick& t) { return t.failed; }));
    }

    // One letter a tick: F failed, V good with values, . good without.
    std::string Trace() const {
        std::string text;
        for (const Tick& t : ticks) {
            text += t.failed ? 'F' : t.valuesWritten ? 'V' : '.';
        }
        return text;
    }

    // The last `count` ticks are good and wrote values again; polling goes on.
    void CheckRecovered(size_t count) {
        SCOPED_TRACE("ticks " + Trace());
        ASSERT_GE(ticks.size(), count);
        bool wrote = false;
        for (size_t i = ticks.size() - count; i < ticks.size(); ++i) {
            EXPECT_FALSE(ticks[i].failed) << "tick " << i << ": " << ticks[i].status;
            wrote = wrote || ticks[i].valuesWritten;
        }
        EXPECT_TRUE(wrote);
        EXPECT_NE(bench.view.values[ValueSlot()], kMarker);
        EXPECT_TRUE(bench.view.timerArmed);
        EXPECT_TRUE(bench.view.messages.empty()) << Messages();
    }

    ScenarioBench bench;
    uint8_t mode;
    bool polmira;
    std::vector<Tick> ticks;

  private:
    bool inTick_ = false;
};

struct FaultCase {
    const char* name;
    SimFault kind;
    uint32_t requests;  // how many requests it touches, from the next one
    uint32_t amount;
    // Modbus: how many ticks fail (0: the fault is absorbed).
    size_t modbusFailures;
    // The answers take this long from the moment of the fault on (a slow way back).
    uint64_t answerDelayUs = 0;
};

const std::vector<FaultCase>& LineFaults() {
    static const std::vector<FaultCase> cases = {
        {"NoiseBefore", SimFault::kNoiseBefore, 1, 4, 1},
        {"NoiseAfter", SimFault::kNoiseAfter, 1, 4, 1},
        {"DroppedByte", SimFault::kDropByte, 1, 0, 1},
        {"BadChecksum", SimFault::kBadChecksum, 1, 0, 1},
        {"Exception", SimFault::kException, 1, 6, 1},
        // A second device with a colliding address answers: its values are not the transducer's.
        {"OtherSlaveAnswers", SimFault::kOtherSlave, 2, 0, 2},
        {"SilenceForThreePolls", SimFault::kSilence, 3, 0, 3},
        // The answer to one request comes after the next request: that tick finds nothing,
        // the next one two answers run together.
        {"LateAnswer", SimFault::kLate, 1, 0, 2},
        // A split answer that is complete before the next tick is collected whole.
        {"SplitAnswerBeforeTheTick", SimFault::kSplit, 1, 30, 0},
        // A slow transducer whose answer pauses just before the tick: the first half alone is
        // collected, the rest runs into the next answer.
        {"SplitAnswerAcrossTheTick", SimFault::kSplit, 1, 60, 2, 450'000},
    };
    return cases;
}

// The IEC 60870-5-101 cases touch four requests, so that an interrogation of the cycle (an
// activation, its confirmation, the values and the termination) falls among them.
const std::vector<FaultCase>& IecFaults() {
    static const std::vector<FaultCase> cases = {
        {"NoiseBefore", SimFault::kNoiseBefore, 4, 4, 0},
        {"NoiseAfter", SimFault::kNoiseAfter, 4, 4, 0},
        {"DroppedByte", SimFault::kDropByte, 4, 0, 0},
        {"BadChecksum", SimFault::kBadChecksum, 4, 0, 0},
        {"SilenceForThreePolls", SimFault::kSilence, 3, 0, 0},
        {"LateAnswer", SimFault::kLate, 1, 0, 0},
        {"SplitAnswerAcrossTheTick", SimFault::kSplit, 4, 60, 0, 30'000},
        {"NegativeConfirmation", SimFault::kNegativeConfirmation, 4, 0, 0},
        {"UnknownType44", SimFault::kUnknownCause, 4, 44, 0},
        {"UnknownCause45", SimFault::kUnknownCause, 4, 45, 0},
        {"UnknownCommonAddress46", SimFault::kUnknownCause, 4, 46, 0},
        {"UnknownObjectAddress47", SimFault::kUnknownCause, 4, 47, 0},
        {"AcdInUserData", SimFault::kAcd, 4, 0, 0},
        {"E5WhereDataIsDue", SimFault::kE5ForData, 4, 0, 0},
    };
    return cases;
}

struct Combination {
    const ProgramVariant* variant;
    uint8_t mode;
    FaultCase fault;
};

void PrintTo(const Combination& c, std::ostream* out) {
    *out << c.variant->programName << ", mode " << int{c.mode} << ", " << c.fault.name;
}

std::string NameOf(const ::testing::TestParamInfo<Combination>& info) {
    return info.param.variant->programName + ModeName(info.param.mode) + info.param.fault.name;
}

std::vector<Combination> ModbusCombinations() {
    std::vector<Combination> all;
    for (const ProgramVariant* v : {&PolmiraVariant(), &CalvenaVariant()}) {
        for (uint8_t mode : {uint8_t{255}, uint8_t{0}}) {
            for (const FaultCase& f : LineFaults()) {
                all.push_back({v, mode, f});
            }
        }
    }
    return all;
}

std::vector<Combination> IecCombinations() {
    std::vector<Combination> all;
    for (const ProgramVariant* v : {&PolmiraVariant(), &CalvenaVariant()}) {
        for (const FaultCase& f : IecFaults()) {
            all.push_back({v, 1, f});
        }
    }
    return all;
}

class ModbusLineFault : public ::testing::TestWithParam<Combination> {};
class IecLineFault : public ::testing::TestWithParam<Combination> {};
using ProgramMode = std::tuple<const ProgramVariant*, uint8_t>;
class ProgramAndMode : public ::testing::TestWithParam<ProgramMode> {};

std::string ProgramAndModeName(const ::testing::TestParamInfo<ProgramMode>& info) {
    return std::get<0>(info.param)->programName + ModeName(std::get<1>(info.param));
}

}  // namespace

TEST_P(ModbusLineFault, FailsItsTicksAndRecovers) {
    const Combination& c = GetParam();
    FaultRun run(*c.variant, c.mode);
    run.StartPolling();
    run.Settle();
    const size_t from = run.ticks.size();
    run.MarkValues();
    run.bench.device.SetAnswerDelayUs(c.fault.answerDelayUs);
    run.bench.device.InjectFault(c.fault.kind, c.fault.requests, c.fault.amount);
    run.RunTicks(8);
    run.CheckTicks(from);
    EXPECT_EQ(run.Failures(from), c.fault.modbusFailures);
    // The failed ticks come first: the request answered before the fault is still good.
    if (c.fault.modbusFailures > 0) {
        EXPECT_FALSE(run.ticks[from].failed);
        EXPECT_TRUE(run.ticks[from + 1].failed);
    }
    run.CheckRecovered(3);
}

INSTANTIATE_TEST_SUITE_P(Faults, ModbusLineFault, ::testing::ValuesIn(ModbusCombinations()),
                         NameOf);

TEST_P(IecLineFault, FailsItsTicksAndRecovers) {
    const Combination& c = GetParam();
    FaultRun run(*c.variant, c.mode);
    run.StartPolling();
    run.Settle();
    const size_t from = run.ticks.size();
    run.MarkValues();
    run.bench.device.SetAnswerDelayUs(c.fault.answerDelayUs);
    run.bench.device.InjectFault(c.fault.kind, c.fault.requests, c.fault.amount);
    run.RunTicks(40);
    run.CheckTicks(from);
    EXPECT_GE(run.Failures(from), 1u);
    EXPECT_GT(run.bench.device.faultsApplied, 0);
    run.CheckRecovered(9);
}

INSTANTIATE_TEST_SUITE_P(Faults, IecLineFault, ::testing::ValuesIn(IecCombinations()), NameOf);

// A transducer that reboots is back in its configuration phase: every tick fails, nothing
// stops, and the next Start wakes it and reads its configuration again.
TEST_P(ProgramAndMode, RebootFailsEveryTickUntilANewStart) {
    const auto [variant, mode] = GetParam();
    FaultRun run(*variant, mode);
    run.StartPolling();
    run.Settle();
    const size_t from = run.ticks.size();
    run.MarkValues();
    run.bench.device.InjectFault(SimFault::kReboot, 1, 1500);
    run.RunTicks(mode == 1 ? 30 : 10);
    SCOPED_TRACE("ticks " + run.Trace());
    run.CheckTicks(from);
    EXPECT_EQ(run.bench.device.reboots, 1);
    EXPECT_EQ(run.bench.device.CurrentPhase(), SimulatedTransducer::Phase::kConfiguration);
    // From the tick that awaited the lost answer on, every tick fails.
    const size_t firstFailed = from + (mode == 1 ? 0 : 1);
    for (size_t i = firstFailed + 1; i < run.ticks.size(); ++i) {
        EXPECT_TRUE(run.ticks[i].failed) << "tick " << i;
    }
    EXPECT_TRUE(run.bench.view.timerArmed);
    EXPECT_TRUE(run.bench.view.messages.empty()) << run.Messages();

    run.bench.controller.OnStop();
    run.bench.Start();
    ASSERT_TRUE(run.bench.view.timerArmed) << run.Messages();
    EXPECT_EQ(run.bench.device.configurationReads, 2);
    EXPECT_EQ(run.bench.device.wakeUps, 2);
    EXPECT_EQ(run.bench.device.CurrentPhase(), SimulatedTransducer::Phase::kOwnSettings);
    const size_t restarted = run.ticks.size();
    run.RunTicks(mode == 1 ? 12 : 4);
    EXPECT_EQ(run.Failures(restarted), 0u);
    run.CheckRecovered(3);
}

INSTANTIATE_TEST_SUITE_P(Faults, ProgramAndMode,
                         ::testing::Combine(::testing::Values(&PolmiraVariant(), &CalvenaVariant()),
                                            ::testing::Values(uint8_t{255}, uint8_t{0},
                                                              uint8_t{1})),
                         ProgramAndModeName);

namespace {

struct StartupCase {
    const char* name;
    SimFault kind;
    uint32_t request;  // 1 status of link, 2 reset, 3 interrogation, 4 first class 2 request
    uint32_t amount;
    const char* message;  // the message that stops Start; empty: polling goes on
};

class IecStartupFault
    : public ::testing::TestWithParam<std::tuple<const ProgramVariant*, StartupCase>> {};

void PrintTo(const StartupCase& c, std::ostream* out) {
    *out << c.name;
}

}  // namespace

// Faults on the frames of the link start-up that Start makes: a failure of the status request
// or of the interrogation's confirmation stops with its message and a new Start works; a lost
// reset, a refused or mirrored interrogation only cost ticks.
TEST_P(IecStartupFault, StopsWithItsMessageOrPollsOn) {
    const auto [variant, c] = GetParam();
    FaultRun run(*variant, 1);
    PlannedFault fault;
    fault.kind = c.kind;
    fault.window = {c.request, 1};
    fault.amount = c.amount;
    run.bench.device.Plan().Add(fault);
    run.bench.Start();
    if (*c.message != '\0') {
        ASSERT_EQ(run.bench.view.messages.size(), 1u);
        EXPECT_EQ(run.bench.view.messages[0].text, c.message);
        EXPECT_EQ(run.bench.view.messages[0].caption, "Ошибка");
        EXPECT_FALSE(run.bench.view.timerArmed);
        EXPECT_EQ(run.bench.view.Text(ViewText::kStatusLine), "Ожидание");
        run.bench.view.messages.clear();
        run.bench.Start();
    }
    ASSERT_TRUE(run.bench.view.timerArmed) << run.Messages();
    run.RunTicks(30);
    SCOPED_TRACE("ticks " + run.Trace());
    run.CheckTicks(0);
    run.CheckRecovered(9);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, IecStartupFault,
    ::testing::Combine(
        ::testing::Values(&PolmiraVariant(), &CalvenaVariant()),
        ::testing::Values(
            StartupCase{"StatusUnanswered", SimFault::kSilence, 1, 0,
                        "Ошибка при инициализации канала"},
            StartupCase{"ResetUnanswered", SimFault::kSilence, 2, 0, ""},
            StartupCase{"InterrogationAckDamaged", SimFault::kBadChecksum, 3, 0,
                        "Нет подтверждения активации/деактивации опроса"},
            StartupCase{"InterrogationRefused", SimFault::kNegativeConfirmation, 3, 0, ""},
            StartupCase{"InterrogationOfUnknownType", SimFault::kUnknownCause, 3, 44, ""},
            StartupCase{"ConfirmationWithAcd", SimFault::kAcd, 4, 0, ""})),
    [](const ::testing::TestParamInfo<std::tuple<const ProgramVariant*, StartupCase>>& p) {
        return std::get<0>(p.param)->programName + std::get<1>(p.param).name;
    });

// Exchange mode 3 polls nothing per tick: the faults never reach it.
TEST(ModeThree, TicksStayGoodWhateverTheTransducerDoes) {
    for (const ProgramVariant* variant : {&PolmiraVariant(), &CalvenaVariant()}) {
        SCOPED_TRACE(variant->programName);
        FaultRun run(*variant, 3);
        run.bench.device.Plan().Add({SimFault::kSilence, {}, 0});
        run.bench.Start();
        ASSERT_TRUE(run.bench.view.timerArmed);
        const size_t writes = run.bench.line.Writes().size();
        run.RunTicks(6);
        EXPECT_EQ(run.Failures(0), 0u);
        EXPECT_EQ(run.bench.line.Writes().size(), writes);
        EXPECT_EQ(run.bench.device.requestsHeard, 0u);
    }
}

// "Чтение (102)": a read command every tick, and its answer collected with a class 2 request
// and 50 ms of dispatching.
TEST(ReadCommandFaults, EachFaultFailsTicksAndPollingRecovers) {
    for (const FaultCase& c : IecFaults()) {
        SCOPED_TRACE(c.name);
        FaultRun run(PolmiraVariant(), 1);
        run.bench.view.pollKind = 1;
        run.bench.view.parameterChoice = 0;  // Ua
        run.StartPolling();
        run.Settle();
        const size_t from = run.ticks.size();
        run.MarkValues();
        run.bench.device.SetAnswerDelayUs(c.answerDelayUs);
        run.bench.device.InjectFault(c.kind, c.requests, c.amount);
        run.RunTicks(12);
        SCOPED_TRACE("ticks " + run.Trace());
        run.CheckTicks(from);
        run.CheckRecovered(4);
    }
}
