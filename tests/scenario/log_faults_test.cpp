// SPDX-License-Identifier: MIT
// The measurement log under stress, with the whole polling controller in virtual time: a disk
// that fills up (injected, and a real tmpfs of 64 KiB), a day change while it is full, a log
// file removed while it is written, and a polling process killed with SIGKILL. The failure is
// shown once, polling goes on, and every finished row ends up in the files.

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"
#include "support/log_text.h"
#include "support/small_file_system.h"

namespace {

constexpr const char* kWriteError = "Ошибка записи в файл, ";

// 2024-03-13 23:59:40 local time (UTC+3): Start takes some seven seconds, then about twenty
// ticks of 500 ms come before midnight.
constexpr int64_t kBeforeMidnightUtcMs = 1'710'363'580'000;

// A row of TQ21 in full: the time stamp and seven value cells.
bool IsWholeRow(const std::string& row) {
    return std::count(row.begin(), row.end(), '\t') == 8 && row.find("-----") == std::string::npos;
}

// The scenario bench's parts, with the log going to the file system of the test's choosing.
struct LogBench {
    LogBench(const ProgramVariant& variant, FileSystem& fileSystem, int64_t unixMsAtStart)
        : clock(1'000'000, unixMsAtStart, 180),
          line(clock, "ttyV0"),
          port(line),
          channel(port, clock),
          view(clock),
          device(SteadyProfile("TQ21"), clock),
          peer(device, line),
          controller(variant, view, channel, clock, fileSystem) {
        channel.portName = "ttyV0";
        view.onTimer = [this] { Tick(); };
        controller.OnInitDialog();
    }

    // Start with the log into the file.
    void Start(const std::string& file) {
        view.checked[ViewControl::kWriteToFile] = true;
        view.logFileChoice = file;
        controller.OnStart();
    }
    void Tick() {
        rowsBegun += controller.pollPlan().currentGroup == 0 ? 1 : 0;
        controller.OnTimer(1);
        ++ticks;
        failedTicks += view.Text(ViewText::kStatusLine).find("ошибка") != std::string::npos;
        if (afterTick) {
            afterTick();
        }
    }
    void RunTicks(int count) { view.RunFor(static_cast<uint32_t>(500 * count)); }
    // Runs ticks until the local clock shows the next day.
    void RunPastMidnight(int ticksAfter) {
        const uint16_t today = clock.LocalTime().day;
        for (int guard = 0; clock.LocalTime().day == today && guard < 200; ++guard) {
            RunTicks(1);
        }
        RunTicks(ticksAfter);
    }
    std::vector<VirtualTimeView::Message> WriteErrors() const {
        std::vector<VirtualTimeView::Message> found;
        for (const auto& m : view.messages) {
            if (m.text.rfind(kWriteError, 0) == 0) {
                found.push_back(m);
            }
        }
        return found;
    }

    VirtualClock clock;
    VirtualLine line;
    VirtualSerialDevice port;
    SerialChannel channel;
    VirtualTimeView view;
    SimulatedTransducer device;
    SimulatedTransducerPeer peer;
    PollingController controller;
    std::function<void()> afterTick;
    size_t ticks = 0;
    size_t failedTicks = 0;
    size_t rowsBegun = 0;  // ticks of poll group 0: each begins a row
};

// A file system whose files report, at each flush that succeeded, the bytes written since the
// one before to a callback: what the log has been told is in the file.
class ReportingFileSystem : public FileSystem {
  public:
    using Report = std::function<void(std::string_view bytes)>;
    explicit ReportingFileSystem(Report report) : report_(std::move(report)) {}

    std::unique_ptr<FileSink> Create(const std::string& path) override {
        std::unique_ptr<FileSink> inner = files_.Create(path);
        return inner ? std::make_unique<Sink>(std::move(inner), report_) : nullptr;
    }
    std::unique_ptr<FileSink> OpenForAppend(const std::string& path) override {
        std::unique_ptr<FileSink> inner = files_.OpenForAppend(path);
        return inner ? std::make_unique<Sink>(std::move(inner), report_) : nullptr;
    }

  private:
    class Sink : public FileSink {
      public:
        Sink(std::unique_ptr<FileSink> inner, Report& report)
            : inner_(std::move(inner)), report_(report) {}
        bool Write(std::string_view bytes) override {
            const bool ok = inner_->Write(bytes);
            if (ok) {
                unflushed_.append(bytes);
            }
            return ok;
        }
        bool Flush() override {
            const bool ok = inner_->Flush();
            if (ok && !unflushed_.empty()) {
                report_(unflushed_);
                unflushed_.clear();
            }
            return ok;
        }
        bool Removed() override { return inner_->Removed(); }

      private:
        std::unique_ptr<FileSink> inner_;
        Report& report_;
        std::string unflushed_;
    };

    StdFileSystem files_;
    Report report_;
};

// A polling child process killed with SIGKILL needs fork() and signals: POSIX only.
#if !defined(_WIN32)
// Messages from the child: a kind byte, a 32-bit length, the bytes.
void SendMessage(int fd, char kind, std::string_view bytes) {
    const auto length = static_cast<uint32_t>(bytes.size());
    std::string message(1, kind);
    message.append(reinterpret_cast<const char*>(&length), sizeof length);
    message.append(bytes);
    for (size_t done = 0; done < message.size();) {
        const ssize_t n = ::write(fd, message.data() + done, message.size() - done);
        if (n <= 0) {
            ::_exit(3);
        }
        done += static_cast<size_t>(n);
    }
}

struct ChildReport {
    std::string written;  // every write the file took, in order
    size_t ticks = 0;
    size_t writes = 0;
    size_t lastWriteSize = 0;
};

// Reads messages until the child has reported `ticks` ticks (then calls atTicks) and on to the
// end of the pipe.
ChildReport ReadReports(int fd, size_t ticks, const std::function<void()>& atTicks) {
    ChildReport report;
    std::string buffer;
    char chunk[4096];
    bool called = false;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        buffer.append(chunk, static_cast<size_t>(n));
        while (buffer.size() >= 5) {
            uint32_t length = 0;
            std::memcpy(&length, buffer.data() + 1, sizeof length);
            if (buffer.size() < 5 + length) {
                break;
            }
            if (buffer[0] == 'W') {
                report.written.append(buffer, 5, length);
                ++report.writes;
                report.lastWriteSize = length;
            } else if (buffer[0] == 'T') {
                ++report.ticks;
            }
            buffer.erase(0, 5 + length);
            if (!called && report.ticks >= ticks) {
                called = true;
                atTicks();
            }
        }
    }
    return report;
}

// A child process that polls in virtual time with the real file system into `path`, reporting
// each write and each tick through `fd`. With a handshake it waits for a byte on `go` after
// every tick.
[[noreturn]] void RunPollingChild(const std::string& path, int fd, int go) {
    ReportingFileSystem files([fd](std::string_view bytes) { SendMessage(fd, 'W', bytes); });
    LogBench bench(PolmiraVariant(), files, 1'710'331'200'000);
    bench.afterTick = [&] {
        SendMessage(fd, 'T', {});
        char byte = 0;
        if (go >= 0 && ::read(go, &byte, 1) != 1) {
            ::_exit(0);
        }
    };
    bench.Start(path);
    if (!bench.view.timerArmed) {
        ::_exit(2);
    }
    for (;;) {
        bench.RunTicks(1);
    }
}
#endif

}  // namespace

TEST(LogUnderStress, AWriteFailureIsShownOnceAndPollingGoesOn) {
    for (const ProgramVariant* variant : {&PolmiraVariant(), &CalvenaVariant()}) {
        SCOPED_TRACE(variant->programName);
        MemoryFileSystem files;
        LogBench bench(*variant, files, 1'710'331'200'000);
        bench.Start("full.txt");
        ASSERT_TRUE(bench.view.timerArmed);
        bench.RunTicks(4);

        files.diskFull = true;
        bench.RunTicks(12);
        // One message, with the file's name; polling goes on as if nothing happened.
        const auto errors = bench.WriteErrors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].text, std::string(kWriteError) + "full.txt");
        EXPECT_EQ(errors[0].caption, "Ошибка");
        EXPECT_EQ(errors[0].icon, MessageIcon::kExclamation);
        EXPECT_EQ(bench.view.messages.size(), 1u);
        EXPECT_TRUE(bench.view.timerArmed);
        EXPECT_EQ(bench.failedTicks, 0u);
        EXPECT_NE(bench.view.values[3], "-----");

        files.diskFull = false;
        bench.RunTicks(4);
        EXPECT_EQ(bench.view.messages.size(), 1u);
        // Every tick's row is in the file, the ones of the full disk included.
        const std::vector<std::string> rows =
            RowsOf(files.files["full.txt"], HeaderCheck::kRequired);
        EXPECT_EQ(rows.size(), bench.rowsBegun);
        EXPECT_GE(bench.rowsBegun, 10u);
        EXPECT_EQ(bench.controller.log().PendingBytes(), 0u);

        // A second outage in the same run is told again.
        files.diskFull = true;
        bench.RunTicks(4);
        EXPECT_EQ(bench.WriteErrors().size(), 2u);
    }
}

TEST(LogUnderStress, ADayChangeWhileTheDiskIsFullLosesNoRow) {
    MemoryFileSystem files;
    LogBench bench(PolmiraVariant(), files, kBeforeMidnightUtcMs);
    bench.Start("day.txt");
    ASSERT_TRUE(bench.view.timerArmed);
    bench.RunTicks(4);
    files.diskFull = true;
    bench.RunPastMidnight(6);
    ASSERT_EQ(files.files.size(), 2u);
    const std::string next = bench.controller.log().CurrentFileName();
    EXPECT_NE(next, "day.txt");
    EXPECT_EQ(files.files[next], "");  // made at midnight; nothing fits yet, not its header

    files.diskFull = false;
    bench.RunTicks(3);
    const std::vector<std::string> before = RowsOf(files.files["day.txt"], HeaderCheck::kRequired);
    const std::vector<std::string> after = RowsOf(files.files[next], HeaderCheck::kRequired);
    EXPECT_GE(before.size(), 10u);
    EXPECT_GE(after.size(), 9u);
    EXPECT_EQ(before.size() + after.size(), bench.rowsBegun);
    for (const auto* rows : {&before, &after}) {
        for (const std::string& row : *rows) {
            EXPECT_TRUE(IsWholeRow(row)) << row;
        }
    }
    EXPECT_EQ(bench.WriteErrors().size(), 1u);
    EXPECT_EQ(bench.view.messages.size(), 1u);
    EXPECT_TRUE(bench.view.timerArmed);
}

TEST(LogUnderStress, ALogFileRemovedWhilePollingIsMadeAgain) {
    MemoryFileSystem files;
    LogBench bench(CalvenaVariant(), files, 1'710'331'200'000);
    bench.Start("gone.txt");
    bench.RunTicks(5);
    files.Remove("gone.txt");
    const size_t rowsBefore = bench.rowsBegun;
    bench.RunTicks(5);
    const std::vector<std::string> rows = RowsOf(files.files["gone.txt"], HeaderCheck::kRequired);
    EXPECT_EQ(rows.size(), bench.rowsBegun - rowsBefore);
    EXPECT_EQ(bench.WriteErrors().size(), 1u);
    EXPECT_TRUE(bench.view.timerArmed);
}

// The write error stays open for 20 s, as on an unattended bench: the ticks go on inside the
// box's loop, every one of them polls and its row is kept and written once there is space.
TEST(LogUnderStress, PollingGoesOnWhileTheWriteErrorStaysOpen) {
    for (const ProgramVariant* variant : {&PolmiraVariant(), &CalvenaVariant()}) {
        SCOPED_TRACE(variant->programName);
        MemoryFileSystem files;
        LogBench bench(*variant, files, 1'710'331'200'000);
        bench.view.messageOpenMs = 20'000;
        bench.Start("open.txt");
        ASSERT_TRUE(bench.view.timerArmed);
        bench.RunTicks(3);
        files.diskFull = true;
        bench.RunTicks(1);
        ASSERT_EQ(bench.WriteErrors().size(), 1u);
        // A tick every 500 ms while the box was open, each a good poll.
        EXPECT_GE(bench.view.ticksWhileMessageOpen, 39);
        EXPECT_EQ(bench.failedTicks, 0u);
        EXPECT_TRUE(bench.view.timerArmed);

        files.diskFull = false;
        bench.RunTicks(2);
        EXPECT_EQ(RowsOf(files.files["open.txt"], HeaderCheck::kRequired).size(), bench.rowsBegun);
        EXPECT_GE(bench.rowsBegun, 45u);
        EXPECT_EQ(bench.view.messages.size(), 1u);
    }
}

// The log's folder goes while polling (a stick pulled out) and comes back: with the file on it,
// the held rows follow the ones written before; without, the file is made again with its
// header. Polling goes on all the while, with one message.
TEST(LogUnderStress, AFolderThatVanishesHoldsTheRowsUntilItIsBack) {
    for (const bool sameStick : {true, false}) {
        SCOPED_TRACE(sameStick ? "the same stick" : "an empty folder");
        MemoryFileSystem files;
        LogBench bench(CalvenaVariant(), files, 1'710'331'200'000);
        bench.Start("stick.txt");
        bench.RunTicks(4);
        files.PullOut();
        const size_t rowsBefore = bench.rowsBegun;
        bench.RunTicks(8);
        EXPECT_TRUE(bench.view.timerArmed);
        EXPECT_EQ(bench.failedTicks, 0u);
        ASSERT_EQ(bench.view.messages.size(), 1u);
        EXPECT_EQ(bench.view.messages[0].text, std::string(kWriteError) + "stick.txt");
        EXPECT_GT(bench.controller.log().PendingBytes(), 0u);

        files.PlugBackIn(sameStick);
        bench.RunTicks(3);
        const std::string& text = files.files["stick.txt"];
        const std::vector<std::string> rows = RowsOf(text, HeaderCheck::kRequired);
        EXPECT_EQ(rows.size(), sameStick ? bench.rowsBegun : bench.rowsBegun - rowsBefore);
        for (const std::string& row : rows) {
            EXPECT_TRUE(IsWholeRow(row)) << row;
        }
        EXPECT_EQ(text.find("time", text.find("time") + 1), std::string::npos);  // one header
        EXPECT_EQ(bench.controller.log().PendingBytes(), 0u);
        EXPECT_EQ(bench.view.messages.size(), 1u);
    }
}

// The folder is gone across midnight: the new day's file cannot be made yet; it is made with its
// header once the folder is back, and the old day's rows go into the old file.
TEST(LogUnderStress, ADayChangeWhileTheFolderIsGoneLosesNoRow) {
    MemoryFileSystem files;
    LogBench bench(PolmiraVariant(), files, kBeforeMidnightUtcMs);
    bench.Start("day.txt");
    bench.RunTicks(4);
    files.PullOut();
    bench.RunPastMidnight(4);
    EXPECT_TRUE(bench.view.timerArmed);
    const std::string next = bench.controller.log().CurrentFileName();
    ASSERT_NE(next, "day.txt");
    files.PlugBackIn(true);
    bench.RunTicks(2);
    const std::vector<std::string> before = RowsOf(files.files["day.txt"], HeaderCheck::kRequired);
    const std::vector<std::string> after = RowsOf(files.files[next], HeaderCheck::kRequired);
    EXPECT_GE(after.size(), 5u);
    EXPECT_EQ(before.size() + after.size(), bench.rowsBegun);
    EXPECT_EQ(bench.WriteErrors().size(), 1u);
    EXPECT_EQ(bench.view.messages.size(), 1u);
}

// Windows refuses to rename or remove a folder that holds an open file: POSIX only.
#if !defined(_WIN32)
// The same on a real disk: the folder renamed away and back (what a stick pulled out and
// plugged in again looks like to an open file), then removed with the file and made again.
TEST(LogUnderStress, ARealFolderThatVanishesHoldsTheRowsUntilItIsBack) {
    std::string pattern = (std::filesystem::temp_directory_path() / "log-stick-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path top = pattern;
    const std::filesystem::path folder = top / "stick";
    std::filesystem::create_directory(folder);
    const std::string path = (folder / "log.txt").string();
    StdFileSystem files;
    LogBench bench(PolmiraVariant(), files, 1'710'331'200'000);
    bench.Start(path);
    bench.RunTicks(3);

    std::filesystem::rename(folder, top / "away");
    bench.RunTicks(4);
    EXPECT_EQ(bench.WriteErrors().size(), 1u);
    std::filesystem::rename(top / "away", folder);
    bench.RunTicks(2);
    EXPECT_EQ(RowsOf(FileText(path), HeaderCheck::kRequired).size(), bench.rowsBegun);

    std::filesystem::remove_all(folder);
    const size_t rowsBefore = bench.rowsBegun;
    bench.RunTicks(4);
    std::filesystem::create_directory(folder);
    bench.RunTicks(2);
    EXPECT_EQ(RowsOf(FileText(path), HeaderCheck::kRequired).size(), bench.rowsBegun - rowsBefore);
    EXPECT_TRUE(bench.view.timerArmed);
    EXPECT_EQ(bench.WriteErrors().size(), 2u);
    EXPECT_EQ(bench.view.messages.size(), 2u);
    std::filesystem::remove_all(top);
}
#endif

// On a real disk that fills up: a tmpfs of 64 KiB, its space taken by another file while the
// program polls, across midnight, and given back.
TEST(LogUnderStress, OnASmallTmpfsADayChangeWhileFullLosesNoRow) {
    SmallFileSystem fs;
    if (!fs.mounted()) {
        GTEST_SKIP() << fs.why();
    }
    StdFileSystem files;
    LogBench bench(PolmiraVariant(), files, kBeforeMidnightUtcMs);
    bench.Start(fs.Path("day.txt"));
    ASSERT_TRUE(bench.view.timerArmed);
    bench.RunTicks(3);
    ASSERT_GT(fs.Fill(), 0u);
    bench.RunPastMidnight(6);
    const std::string next = bench.controller.log().CurrentFileName();
    ASSERT_NE(next, fs.Path("day.txt"));
    EXPECT_EQ(bench.WriteErrors().size(), 1u);
    EXPECT_TRUE(bench.view.timerArmed);

    fs.Free();
    bench.RunTicks(3);
    const std::vector<std::string> before =
        RowsOf(FileText(fs.Path("day.txt")), HeaderCheck::kRequired);
    const std::vector<std::string> after = RowsOf(FileText(next), HeaderCheck::kRequired);
    EXPECT_EQ(before.size() + after.size(), bench.rowsBegun);
    EXPECT_GE(after.size(), 9u);
    for (const auto* rows : {&before, &after}) {
        for (const std::string& row : *rows) {
            EXPECT_TRUE(IsWholeRow(row)) << row;
        }
    }
    EXPECT_EQ(bench.WriteErrors().size(), 1u);
    EXPECT_EQ(bench.controller.log().PendingBytes(), 0u);
}

#if !defined(_WIN32)
// A polling process killed with SIGKILL: every row it was told was written is on disk.
class KilledWhilePolling : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "log-killed-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/log.txt";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Runs a freely polling child until it has reported `ticks` ticks, kills it and returns
    // all it reported.
    ChildReport PollAndKill(size_t ticks) {
        int reports[2];
        EXPECT_EQ(::pipe(reports), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(reports[0]);
            RunPollingChild(path_, reports[1], -1);
        }
        ::close(reports[1]);
        const ChildReport report = ReadReports(reports[0], ticks, [&] { ::kill(child, SIGKILL); });
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        ::close(reports[0]);
        return report;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(KilledWhilePolling, BetweenPollsEveryFinishedRowIsOnDisk) {
    // The child waits after each tick; the parent answers each with a byte, and after the
    // twentieth with SIGKILL.
    int reports[2];
    int go[2];
    ASSERT_EQ(::pipe(reports), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(reports[0]);
        ::close(go[1]);
        RunPollingChild(path_, reports[1], go[0]);
    }
    ::close(reports[1]);
    ::close(go[0]);
    size_t ticks = 0;
    ChildReport report;
    std::string buffer;
    char chunk[4096];
    bool killed = false;
    while (!killed) {
        const ssize_t n = ::read(reports[0], chunk, sizeof chunk);
        ASSERT_GT(n, 0) << "the child ended early";
        buffer.append(chunk, static_cast<size_t>(n));
        while (buffer.size() >= 5 && !killed) {
            uint32_t length = 0;
            std::memcpy(&length, buffer.data() + 1, sizeof length);
            if (buffer.size() < 5 + length) {
                break;
            }
            if (buffer[0] == 'W') {
                report.written.append(buffer, 5, length);
            } else if (buffer[0] == 'T' && ++ticks < 20) {
                ASSERT_EQ(::write(go[1], "g", 1), 1);
            } else if (buffer[0] == 'T') {
                ::kill(child, SIGKILL);
                killed = true;
            }
            buffer.erase(0, 5 + length);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    ::close(reports[0]);
    ::close(go[1]);

    // Exactly what the child wrote: the header and a whole row for each of its twenty ticks.
    const std::string onDisk = FileText(path_);
    EXPECT_EQ(onDisk, report.written);
    const std::vector<std::string> rows = RowsOf(onDisk, HeaderCheck::kRequired);
    EXPECT_EQ(rows.size(), 20u);
    for (const std::string& row : rows) {
        EXPECT_TRUE(IsWholeRow(row)) << row;
    }
    EXPECT_NE(onDisk.substr(onDisk.size() - 2), "\r\n");  // the last row has no line end
}

TEST_F(KilledWhilePolling, AtAnyMomentNoReportedRowIsMissing) {
    // The child polls freely and is killed somewhere in the ticks after the 200th: whatever it
    // was doing, all it was told was written is in the file, and at most the one write whose
    // report it did not get out.
    for (int round = 0; round < 3; ++round) {
        const ChildReport report = PollAndKill(200 + 37 * static_cast<size_t>(round));
        const std::string onDisk = FileText(path_);
        ASSERT_GE(onDisk.size(), report.written.size());
        EXPECT_EQ(onDisk.compare(0, report.written.size(), report.written), 0);
        EXPECT_LE(onDisk.size() - report.written.size(), 200u);
        const std::vector<std::string> rows = RowsOf(onDisk, HeaderCheck::kRequired);
        EXPECT_GE(rows.size(), 200u);
        for (const std::string& row : rows) {
            EXPECT_TRUE(IsWholeRow(row)) << row;
        }
    }
}
#endif
