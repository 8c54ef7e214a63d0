// SPDX-License-Identifier: MIT
// Long polling in virtual time against a transducer whose line fails now and then: a day of
// Modbus at 500 ms (172,800 ticks, across midnight), and as many IEC-101 ticks. Every tick
// leaves its row in the log, polling never stalls, and the memory in use does not grow (run
// under the sanitizers, the leak check comes on top).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <set>

#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SOAK_UNDER_ASAN 1
#endif

#ifdef SOAK_UNDER_ASAN
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

namespace {

// "230.5    \t": a number with a decimal point (never a comma), padded as the log pads it.
bool IsNumberCell(std::string_view cell) {
    constexpr std::string_view kPad = "    \t";
    if (cell.size() <= kPad.size() || cell.substr(cell.size() - kPad.size()) != kPad) {
        return false;
    }
    cell.remove_suffix(kPad.size());
    if (cell.front() == '-') {
        cell.remove_prefix(1);
    }
    const size_t point = cell.find('.');
    const auto digits = [](std::string_view d) {
        return !d.empty() &&
               std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return point == std::string_view::npos
               ? digits(cell)
               : digits(cell.substr(0, point)) && digits(cell.substr(point + 1));
}

size_t HeapInUse() {
#ifdef SOAK_UNDER_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Log files that keep no text, only what a day of rows needs checked: their rows by kind, and
// the line being written. A file made again under its name (a new Start, the same file chosen)
// starts empty, its old rows counted in the totals. The memory it holds stays the same however
// long the log runs.
class RowCountingFileSystem : public FileSystem {
  public:
    struct Rows {
        size_t values = 0;
        size_t placeholders = 0;
        size_t other = 0;
    };
    struct File {
        size_t lines = 0;  // completed lines
        Rows rows;
        std::string current;
    };

    std::unique_ptr<FileSink> Create(const std::string& path) override {
        auto& file = files_[path];
        if (file) {
            Finish(*file);
            Add(replaced_, file->rows);
        } else {
            names_.push_back(path);
        }
        file = std::make_shared<File>();
        return std::make_unique<Sink>(file);
    }
    // The soak's files never go out of reach.
    std::unique_ptr<FileSink> OpenForAppend(const std::string&) override { return nullptr; }

    // The rows of all files so far, the line each is still writing included (a last row has
    // no line end).
    Rows Total() {
        Rows total = replaced_;
        for (auto& [path, file] : files_) {
            Finish(*file);
            Add(total, file->rows);
        }
        return total;
    }
    // The names, in the order they were first made.
    const std::vector<std::string>& Names() const { return names_; }

  private:
    class Sink : public FileSink {
      public:
        explicit Sink(std::shared_ptr<File> file) : file_(std::move(file)) {}
        bool Write(std::string_view bytes) override {
            for (const char c : bytes) {
                if (c == '\n' && !file_->current.empty() && file_->current.back() == '\r') {
                    file_->current.pop_back();
                    EndLine(*file_);
                } else {
                    file_->current += c;
                }
            }
            return true;
        }
        bool Flush() override { return true; }

      private:
        std::shared_ptr<File> file_;
    };

    static void Add(Rows& to, const Rows& rows) {
        to.values += rows.values;
        to.placeholders += rows.placeholders;
        to.other += rows.other;
    }

    static void Finish(File& file) {
        if (!file.current.empty()) {
            EndLine(file);
        }
    }

    static void EndLine(File& file) {
        // The header: model and address, an empty line, the titles.
        if (file.lines >= 3) {
            const std::string& row = file.current;
            const size_t cells = row.find('\t');
            size_t placeholders = 0;
            size_t numbers = 0;
            size_t count = 0;
            for (size_t pos = cells + 1; cells != std::string::npos && pos < row.size(); ++count) {
                const size_t end = row.find('\t', pos);
                const std::string_view cell = std::string_view(row).substr(pos, end - pos + 1);
                placeholders += cell == "-----    \t" ? 1 : 0;
                numbers += IsNumberCell(cell) ? 1 : 0;
                pos = end == std::string::npos ? row.size() : end + 1;
            }
            if (count == 7 && placeholders == 7) {
                ++file.rows.placeholders;
            } else if (count == 7 && numbers == 7) {
                ++file.rows.values;
            } else {
                ++file.rows.other;
            }
        }
        ++file.lines;
        file.current.clear();
    }

    std::map<std::string, std::shared_ptr<File>> files_;
    std::vector<std::string> names_;
    Rows replaced_;
};

// The scenario bench, with the log going to the row-counting files.
struct SoakBench {
    SoakBench(const ProgramVariant& variant, const SimProfile& profile)
        : line(clock, "ttyV0"),
          port(line),
          channel(port, clock),
          view(clock),
          device(profile, clock),
          peer(device, line),
          controller(variant, view, channel, clock, files) {
        channel.portName = "ttyV0";
        view.onTimer = [this] { Tick(); };
        controller.OnInitDialog();
    }

    VirtualClock clock;
    VirtualLine line;
    VirtualSerialDevice port;
    SerialChannel channel;
    // The heap without the line's recording, which grows to its own bound and holds there.
    size_t HeapBesideTraffic() const { return HeapInUse() - channel.Traffic().StoredBytes(); }
    VirtualTimeView view;
    RowCountingFileSystem files;
    SimulatedTransducer device;
    SimulatedTransducerPeer peer;
    PollingController controller;
    // One tick, with what it did: the value fields are marked before it, so that a write
    // shows; the fields it did not write get their text back.
    void Tick() {
        const auto shown = view.values;
        view.values.fill(kMarker);
        const bool logOpen = controller.log().IsOpen();
        const size_t statusBefore = view.statusHistory.size();
        controller.OnTimer(1);
        ++ticks;
        // The tick's own status text (a Stop inside the tick may follow it with "Ожидание").
        bool failed = false;
        for (size_t i = statusBefore; i < view.statusHistory.size(); ++i) {
            failed = failed || view.statusHistory[i].find("ошибка") != std::string::npos;
        }
        bool wrote = false;
        for (size_t slot = 0; slot < shown.size(); ++slot) {
            if (view.values[slot] == kMarker) {
                view.values[slot] = shown[slot];
            } else {
                wrote = true;
            }
        }
        failedTicks += failed ? 1 : 0;
        failedTicksLogged += failed && logOpen ? 1 : 0;
        ticksWithValues += wrote ? 1 : 0;
        failedTicksWithValues += failed && wrote ? 1 : 0;
    }

    static constexpr const char* kMarker = "(tick)";
    size_t ticks = 0;
    size_t failedTicks = 0;
    size_t failedTicksLogged = 0;  // failed ticks while the log was open: placeholder rows
    size_t ticksWithValues = 0;    // good ticks that showed values: value rows
    size_t failedTicksWithValues = 0;
};

void AddFaults(FaultPlan& plan, const std::vector<const char*>& faults) {
    for (const char* text : faults) {
        std::string error;
        const auto fault = ParsePlannedFault(text, error);
        ASSERT_TRUE(fault) << error;
        plan.Add(*fault);
    }
}

}  // namespace

TEST(Soak, ADayOfPollingOverABadLineLosesNoRowAndHoldsItsMemory) {
    constexpr size_t kTicks = 172'800;  // a day at 500 ms
    constexpr size_t kTicksPerHour = 7'200;

    SimProfile profile = *FindProfile("TQ21");  // Modbus RTU, seven values and the clock
    SoakBench bench(PolmiraVariant(), profile);
    // Each kind of fault on about one request in two hundred.
    bench.device.Plan().SetRandomKey(2024);
    AddFaults(bench.device.Plan(),
              {"noise-before:3%0.5", "noise-after:3%0.5", "drop-byte%0.5", "bad-checksum%0.5",
               "exception%0.5", "silence%0.5", "late%0.5", "split:30%0.5"});
    bench.view.checked[ViewControl::kWriteToFile] = true;
    bench.view.logFileChoice = "day.txt";
    bench.controller.OnStart();
    ASSERT_TRUE(bench.view.timerArmed);

    size_t heapAfterFirstHour = 0;
    while (bench.ticks < kTicks) {
        const size_t chunk = std::min<size_t>(1'000, kTicks - bench.ticks);
        bench.view.RunFor(static_cast<uint32_t>(chunk * 500));
        // The recording stand-ins keep every write and status; they are not under test.
        bench.line.ClearWrites();
        bench.view.statusHistory.clear();
        bench.view.statusTimesUs.clear();
        if (heapAfterFirstHour == 0 && bench.ticks >= kTicksPerHour) {
            heapAfterFirstHour = bench.HeapBesideTraffic();
        }
    }
    bench.view.RunFor(10);  // the last tick's request reaches the transducer
    ASSERT_EQ(bench.ticks, kTicks);
    const size_t heapAtTheEnd = bench.HeapBesideTraffic();
    // The line's recording filled its store and then dropped its oldest frames.
    const TrafficRecorder& traffic = bench.channel.Traffic();
    EXPECT_LE(traffic.StoredBytes(), TrafficRecorder::kStoreBudget);
    EXPECT_GT(traffic.Statistics().droppedFrames, 0u);
    // Every tick's request was counted, and every row of values had a good answer behind it.
    EXPECT_GE(traffic.Statistics().pollRequests, kTicks);
    EXPECT_GE(traffic.Statistics().goodAnswers, kTicks - bench.failedTicks);

    // Polling went on all day; the faults were there and failed ticks in their share.
    EXPECT_TRUE(bench.view.timerArmed);
    EXPECT_TRUE(bench.view.messages.empty());
    EXPECT_GT(bench.device.faultsApplied, 4'000);
    EXPECT_GT(bench.failedTicks, kTicks / 50);
    EXPECT_LT(bench.failedTicks, kTicks / 10);
    EXPECT_LE(bench.controller.answer().capacity(), SerialChannel::kCollectionBufferSize);

    // Every tick left its row: values for a good one, placeholders for a failed one, in two
    // files, the second begun at midnight.
    const auto& names = bench.files.Names();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "day.txt");
    EXPECT_TRUE(std::regex_match(names[1], std::regex(R"(day_14_03__00_00_0\d\.txt)"))) << names[1];
    const RowCountingFileSystem::Rows rows = bench.files.Total();
    const size_t valueRows = rows.values;
    const size_t placeholderRows = rows.placeholders;
    EXPECT_EQ(rows.other, 0u);
    EXPECT_EQ(placeholderRows, bench.failedTicks);
    EXPECT_EQ(valueRows, kTicks - bench.failedTicks);
    EXPECT_EQ(bench.ticksWithValues, valueRows);
    EXPECT_EQ(bench.failedTicksWithValues, 0u);
    std::printf(
        "%zu ticks, %zu failed, %d faults; %zu + %zu rows; heap %zu bytes after an hour, "
        "%zu after the day\n",
        bench.ticks, bench.failedTicks, bench.device.faultsApplied, valueRows, placeholderRows,
        heapAfterFirstHour, heapAtTheEnd);
    // Nothing accumulates: after the first hour the memory in use stays where it was.
    EXPECT_LT(heapAtTheEnd, heapAfterFirstHour + 64 * 1024)
        << "after an hour " << heapAfterFirstHour << " bytes, after a day " << heapAtTheEnd;
}

TEST(Soak, IecPollingThroughFaultsNeverStalls) {
    constexpr size_t kTicks = 172'800;  // four and a half hours of 100 ms ticks

    SimProfile profile = *FindProfile("TQ51");  // seven short floats
    profile.config.ExchangeMode = ExchangeMode::kIec101;
    RebuildProfileConfig(profile);
    SoakBench bench(CalvenaVariant(), profile);
    bench.device.Plan().SetRandomKey(101);
    AddFaults(bench.device.Plan(), {"noise-before:3%0.3", "noise-after:3%0.3", "drop-byte%0.3",
                                    "bad-checksum%0.3", "silence%0.3", "late%0.3", "split:60%0.3",
                                    "negative%0.3", "cause:45%0.3", "acd%0.3", "e5%0.3"});
    bench.view.checked[ViewControl::kWriteToFile] = true;
    bench.view.logFileChoice = "iec.txt";

    // A renewed interrogation that finds no confirmation stops polling with its message, as
    // it must; the user then starts again.
    const std::set<std::string> stopMessages = {"Нет подтверждения активации/деактивации опроса",
                                                "Неизвестная причина передачи",
                                                "Ошибка при инициализации канала"};
    size_t starts = 0;
    size_t heapAfterAnHour = 0;
    size_t longestRunWithoutValues = 0;
    size_t ticksSinceValues = 0;
    for (int guard = 0; bench.ticks < kTicks && guard < 100'000; ++guard) {
        if (!bench.view.timerArmed) {
            for (const auto& m : bench.view.messages) {
                EXPECT_EQ(stopMessages.count(m.text), 1u) << m.text;
            }
            bench.view.messages.clear();
            bench.controller.OnStart();
            ++starts;
            continue;
        }
        const size_t before = bench.ticks;
        const size_t withValues = bench.ticksWithValues;
        bench.view.RunFor(10'000);
        if (bench.ticksWithValues == withValues) {
            ticksSinceValues += bench.ticks - before;
            longestRunWithoutValues = std::max(longestRunWithoutValues, ticksSinceValues);
        } else {
            ticksSinceValues = 0;
        }
        bench.line.ClearWrites();
        bench.view.statusHistory.clear();
        bench.view.statusTimesUs.clear();
        if (heapAfterAnHour == 0 && bench.ticks >= 36'000) {
            heapAfterAnHour = bench.HeapBesideTraffic();
        }
    }
    ASSERT_GE(bench.ticks, kTicks);
    const size_t heapAtTheEnd = bench.HeapBesideTraffic();
    EXPECT_LE(bench.channel.Traffic().StoredBytes(), TrafficRecorder::kStoreBudget);
    const RowCountingFileSystem::Rows rows = bench.files.Total();
    const size_t valueRows = rows.values;
    const size_t placeholderRows = rows.placeholders;
    EXPECT_EQ(rows.other, 0u);
    std::printf(
        "%zu ticks, %zu failed, %d faults, %zu starts; %zu + %zu rows; no values for at "
        "most %zu ticks; heap %zu bytes after an hour, %zu at the end\n",
        bench.ticks, bench.failedTicks, bench.device.faultsApplied, starts, valueRows,
        placeholderRows, longestRunWithoutValues, heapAfterAnHour, heapAtTheEnd);

    EXPECT_GT(bench.device.faultsApplied, 1'000);
    EXPECT_GT(bench.failedTicks, kTicks / 200);
    // Values keep coming: never a stretch of ten seconds of ticks (100 of them) without any.
    EXPECT_LT(longestRunWithoutValues, 200u);
    // Every failed tick with the log open left placeholders, every value shown its row.
    EXPECT_EQ(placeholderRows, bench.failedTicksLogged);
    EXPECT_EQ(valueRows, bench.ticksWithValues);
    EXPECT_EQ(bench.failedTicksWithValues, 0u);
    EXPECT_LT(heapAtTheEnd, heapAfterAnHour + 64 * 1024)
        << "after an hour " << heapAfterAnHour << " bytes, at the end " << heapAtTheEnd;
}
