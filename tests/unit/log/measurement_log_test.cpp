// SPDX-License-Identifier: MIT
#include "log/measurement_log.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/calendar.h"
#include "platform/virtual/virtual_clock.h"
#include "support/memory_file_system.h"

namespace {

// 2024-03-05 09:05:03.250 UTC, a Tuesday.
constexpr int64_t kMarch5 = 1'709'629'503'250;

LogHeader TwoColumnHeader() {
    return {"TQ20", 1, {"Ua", "Ub"}};
}

struct LogFixture : ::testing::Test {
    VirtualClock clock{0, kMarch5, 0};
    MemoryFileSystem files;
    MeasurementLog log{files, clock};

    void SetUp() override { log.SetBasePath("log.txt"); }

    // One row as the display writes it: begin, cells, write all pieces.
    void WriteRow(const LogHeader& header, std::initializer_list<std::string_view> values) {
        std::vector<std::string> pieces;
        ASSERT_NE(log.BeginLogRow(header, pieces), MeasurementLog::RowStart::kCreateFailed);
        for (std::string_view v : values) {
            pieces.push_back(LogCell(v));
        }
        for (const std::string& p : pieces) {
            log.WriteLogText(p);
        }
    }
};

}  // namespace

TEST(LogTexts, HeaderNamesTheTransducerAndTheColumns) {
    EXPECT_EQ(LogHeaderText(TwoColumnHeader()), "TQ20: 1\n\ntime           \tUa    \tUb    \t\n");
    // The clock registers get no column, wherever the pattern stands in the title.
    EXPECT_EQ(LogHeaderText({"TQ30", 17, {"Uab,V", "tms1", "thm1", "tmd1", "ty11", "F,Hz"}}),
              "TQ30: 17\n\ntime           \tUab,V    \tF,Hz    \t\n");
}

TEST(LogTexts, FileNamesAndTimeStamps) {
    EXPECT_EQ(EnsureTxtExtension("log"), "log.txt");
    EXPECT_EQ(EnsureTxtExtension("my.txt.bak"), "my.txt.bak");
    EXPECT_EQ(EnsureTxtExtension("/tmp/a.txt"), "/tmp/a.txt");

    EXPECT_EQ(LogTimeStamp(CalendarFromUnixMs(kMarch5)), "05_03_2024 09:05:03,2");
    // 2024-03-06 00:00:02
    EXPECT_EQ(RolledOverFileName("/data/log.txt", CalendarFromUnixMs(1'709'683'202'000)),
              "/data/log_06_03__00_00_02.txt");
    EXPECT_EQ(LogCell("12.5"), "12.5    \t");
}

TEST_F(LogFixture, RowsOfSeveralGroupsShareOneLineAndFailedGroupsGivePlaceholders) {
    const LogHeader header{"TQ20", 1, {"Ua", "Ub", "Uc", "F", "Ia"}};
    // Cycle 1: group 0 with three values, group 1 with two.
    WriteRow(header, {"1", "2", "3"});
    log.WriteLogText(LogCell("4") + LogCell("5"));
    // Cycle 2: group 0 good, group 1 failed.
    clock.Sleep(500);
    WriteRow(header, {"6", "7", "8"});
    log.LogFailedPoll(header, false, 2);

    EXPECT_EQ(files.files["log.txt"],
              "TQ20: 1\r\n\r\ntime           \tUa    \tUb    \tUc    \tF    \tIa    \t\r\n"
              "05_03_2024 09:05:03,2\t1    \t2    \t3    \t4    \t5    \t\r\n"
              "05_03_2024 09:05:03,7\t6    \t7    \t8    \t-----    \t-----    \t");
}

TEST_F(LogFixture, FailedFirstGroupBeginsItsOwnRow) {
    WriteRow(TwoColumnHeader(), {"1", "2"});
    clock.Sleep(1000);
    EXPECT_EQ(log.LogFailedPoll(TwoColumnHeader(), true, 2), MeasurementLog::RowStart::kContinued);
    const std::string& text = files.files["log.txt"];
    EXPECT_NE(text.find("\r\n05_03_2024 09:05:04,2\t-----    \t-----    \t"), std::string::npos)
        << text;
}

TEST_F(LogFixture, MidnightBeginsASuffixedFileWithAFreshHeader) {
    clock.SetUnixMsAtStart(1'709'683'199'000);  // 2024-03-05 23:59:59.000
    WriteRow(TwoColumnHeader(), {"1", "2"});
    clock.Sleep(3000);  // 00:00:02 on 6 March
    WriteRow(TwoColumnHeader(), {"3", "4"});
    clock.Sleep(500);
    WriteRow(TwoColumnHeader(), {"5", "6"});

    ASSERT_EQ(files.files.size(), 2u);
    EXPECT_EQ(files.files["log.txt"],
              "TQ20: 1\r\n\r\ntime           \tUa    \tUb    \t\r\n"
              "05_03_2024 23:59:59,0\t1    \t2    \t");
    EXPECT_EQ(log.CurrentFileName(), "log_06_03__00_00_02.txt");
    EXPECT_EQ(files.files["log_06_03__00_00_02.txt"],
              "TQ20: 1\r\n\r\ntime           \tUa    \tUb    \t\r\n"
              "06_03_2024 00:00:02,0\t3    \t4    \t\r\n"
              "06_03_2024 00:00:02,5\t5    \t6    \t");
}

TEST_F(LogFixture, TimeStampsFollowTheChosenTimeBase) {
    clock.SetLocalOffsetMinutes(180);
    log.SetLocalTime(false);
    WriteRow(TwoColumnHeader(), {"1", "2"});
    log.Close();
    EXPECT_NE(files.files["log.txt"].find("05_03_2024 09:05:03,2\t"), std::string::npos);

    log.SetLocalTime(true);
    WriteRow(TwoColumnHeader(), {"1", "2"});
    EXPECT_NE(files.files["log.txt"].find("05_03_2024 12:05:03,2\t"), std::string::npos);
}

TEST_F(LogFixture, CreateFailureAndWriteFailureAreReported) {
    files.uncreatable.insert("log.txt");
    std::vector<std::string> pieces;
    EXPECT_EQ(log.BeginLogRow(TwoColumnHeader(), pieces), MeasurementLog::RowStart::kCreateFailed);
    EXPECT_TRUE(pieces.empty());
    EXPECT_FALSE(log.IsOpen());

    files.uncreatable.clear();
    WriteRow(TwoColumnHeader(), {"1", "2"});
    EXPECT_FALSE(log.TakeWriteFailure());
    files.diskFull = true;
    EXPECT_FALSE(log.WriteLogText(LogCell("3")));
    EXPECT_TRUE(log.TakeWriteFailure());
    EXPECT_FALSE(log.TakeWriteFailure());  // reported once
}

// fork() and SIGKILL: POSIX only.
#if !defined(_WIN32)
TEST(LogOnDisk, RowsSurviveAProcessKilledBetweenPolls) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("log-kill-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "log.txt").string();

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        VirtualClock clock{0, kMarch5, 0};
        StdFileSystem files;
        MeasurementLog log{files, clock};
        log.SetBasePath(path);
        for (int row = 0; row < 3; ++row) {
            std::vector<std::string> pieces;
            log.BeginLogRow(TwoColumnHeader(), pieces);
            pieces.push_back(LogCell(std::to_string(row)));
            for (const auto& p : pieces) {
                log.WriteLogText(p);
            }
            clock.Sleep(500);
        }
        ::raise(SIGKILL);  // no destructor, no fclose
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "TQ20: 1\r\n\r\ntime           \tUa    \tUb    \t\r\n"
              "05_03_2024 09:05:03,2\t0    \t\r\n"
              "05_03_2024 09:05:03,7\t1    \t\r\n"
              "05_03_2024 09:05:04,2\t2    \t");
    std::filesystem::remove_all(dir);
}
#endif
