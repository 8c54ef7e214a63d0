// SPDX-License-Identifier: MIT
// The log when its file fails: a full disk (in memory, and for real on a small tmpfs), a day
// change in the middle of it, a file removed while it is written, and the bound on the rows
// kept meanwhile. No row finished after the disk has space again is lost, and none before it
// either while the program runs on.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "log/measurement_log.h"
#include "platform/calendar.h"
#include "platform/virtual/virtual_clock.h"
#include "support/log_text.h"
#include "support/memory_file_system.h"
#include "support/small_file_system.h"

namespace {

// 2024-03-05 00:00:01.000 UTC, 09:05:03.250 and 23:59:59.000 the same day.
constexpr int64_t kAfterMidnight = 1'709'596'801'000;
constexpr int64_t kMorning = 1'709'629'503'250;
constexpr int64_t kBeforeMidnight = 1'709'683'199'000;

LogHeader Header() {
    return {"TQ20", 1, {"Ua", "Ub"}};
}
const std::string kHeaderText = "TQ20: 1\r\n\r\ntime           \tUa    \tUb    \t\r\n";

// A log writing rows of two cells, as the display refresh does, and the text each row must
// have in the file.
struct RowWriter {
    RowWriter(FileSystem& files, const std::string& basePath, int64_t unixMs)
        : clock(0, unixMs, 0), log(files, clock) {
        log.SetBasePath(basePath);
    }

    // Begins the row, writes its pieces at once; true when its text is in the file.
    bool Row() {
        std::vector<std::string> pieces;
        const MeasurementLog::RowStart start = log.BeginLogRow(Header(), pieces);
        EXPECT_NE(start, MeasurementLog::RowStart::kCreateFailed);
        const int n = static_cast<int>(rows.size());
        pieces.push_back(LogCell(std::to_string(n)));
        pieces.push_back(LogCell(std::to_string(1000 + n)));
        std::string text;
        for (const std::string& p : pieces) {
            text += p;
        }
        rows.push_back(text);
        const bool written = log.WriteLogText(text);
        clock.Sleep(500);
        return written;
    }
    // The file text of rows [from, to): the header, then the rows one a line.
    std::string FileOf(size_t from, size_t to) const {
        std::string text = kHeaderText;
        for (size_t i = from; i < to; ++i) {
            text += (i == from ? "" : "\r\n") + rows[i];
        }
        return text;
    }

    VirtualClock clock;
    MeasurementLog log;
    std::vector<std::string> rows;
};

}  // namespace

TEST(LogOnAFullDisk, KeptRowsAreWrittenInOrderOnceThereIsSpaceAndTheOutageIsReportedOnce) {
    MemoryFileSystem files;
    RowWriter w(files, "log.txt", kMorning);
    ASSERT_TRUE(w.Row());
    ASSERT_TRUE(w.Row());
    EXPECT_FALSE(w.log.TakeWriteFailure());

    files.diskFull = true;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(w.Row());
    }
    // Nothing of the kept rows is in the file, not even part of one.
    EXPECT_EQ(files.files["log.txt"], w.FileOf(0, 2));
    EXPECT_GT(w.log.PendingBytes(), 3 * w.rows[2].size());
    EXPECT_TRUE(w.log.TakeWriteFailure());
    EXPECT_FALSE(w.log.TakeWriteFailure());

    files.diskFull = false;
    EXPECT_TRUE(w.Row());
    EXPECT_EQ(files.files["log.txt"], w.FileOf(0, 6));
    EXPECT_EQ(w.log.PendingBytes(), 0u);
    EXPECT_FALSE(w.log.TakeWriteFailure());  // the same outage

    // A new outage is reported again.
    files.diskFull = true;
    EXPECT_FALSE(w.Row());
    EXPECT_TRUE(w.log.TakeWriteFailure());
    // Stop: a last attempt, then what is still kept is given up with the file.
    w.log.Close();
    EXPECT_EQ(w.log.PendingBytes(), 0u);
    EXPECT_FALSE(w.log.TakeWriteFailure());
}

TEST(LogOnAFullDisk, ADayChangeInTheOutageLosesNoRowOfEitherDay) {
    MemoryFileSystem files;
    RowWriter w(files, "log.txt", kBeforeMidnight);  // rows at 23:59:59.0 and .5, then 00:00
    ASSERT_TRUE(w.Row());
    files.diskFull = true;
    EXPECT_FALSE(w.Row());
    EXPECT_FALSE(w.Row());  // 00:00:00.0: the new file is made, its header kept
    EXPECT_FALSE(w.Row());
    ASSERT_EQ(files.files.size(), 2u);
    const std::string next = "log_06_03__00_00_00.txt";
    EXPECT_EQ(w.log.CurrentFileName(), next);
    EXPECT_EQ(files.files[next], "");
    EXPECT_EQ(files.files["log.txt"], w.FileOf(0, 1));

    files.diskFull = false;
    EXPECT_TRUE(w.Row());
    EXPECT_EQ(files.files["log.txt"], w.FileOf(0, 2));
    EXPECT_EQ(files.files[next], w.FileOf(2, 5));
    EXPECT_EQ(w.log.PendingBytes(), 0u);
    // One outage, one report, although it spanned two files.
    EXPECT_TRUE(w.log.TakeWriteFailure());
    EXPECT_FALSE(w.log.TakeWriteFailure());
}

TEST(LogOnAFullDisk, RowsBeyondTheBoundAreDroppedWhole) {
    MemoryFileSystem files;
    // Some 90,000 rows of 500 ms: all on one day.
    RowWriter w(files, "log.txt", kAfterMidnight);
    ASSERT_TRUE(w.Row());
    files.diskFull = true;
    while (w.log.DroppedRows() < 3 && w.rows.size() < 400'000) {
        w.Row();
    }
    ASSERT_EQ(w.log.DroppedRows(), 3u);
    EXPECT_LE(w.log.PendingBytes(), MeasurementLog::kMaxPendingBytes + 2 + w.rows.back().size());
    const size_t kept = w.rows.size() - 3;

    files.diskFull = false;
    EXPECT_TRUE(w.Row());
    // The rows up to the bound, then the first row after the disk has space again: every line
    // whole.
    std::string expected = w.FileOf(0, kept);
    expected += "\r\n" + w.rows.back();
    EXPECT_TRUE(files.files["log.txt"] == expected) << "the file differs from the rows kept";
}

TEST(LogFileRemoved, IsMadeAgainWithItsHeaderAndTheRowsGoOn) {
    MemoryFileSystem files;
    RowWriter w(files, "log.txt", kMorning);
    ASSERT_TRUE(w.Row());
    ASSERT_TRUE(w.Row());
    files.Remove("log.txt");
    EXPECT_TRUE(w.Row());
    EXPECT_TRUE(w.Row());
    EXPECT_EQ(files.files["log.txt"], w.FileOf(2, 4));
    EXPECT_EQ(files.createCount, 2);
    // The rows that went with the removed file are worth a message.
    EXPECT_TRUE(w.log.TakeWriteFailure());
    EXPECT_FALSE(w.log.TakeWriteFailure());
}

// The same on a real file system that really fills up: a tmpfs of 64 KiB.

TEST(LogOnASmallTmpfs, AWriteThatDoesNotFitLeavesNothingBehind) {
    SmallFileSystem fs;
    if (!fs.mounted()) {
        GTEST_SKIP() << fs.why();
    }
    StdFileSystem files;
    const std::string path = fs.Path("chunks.txt");
    std::unique_ptr<FileSink> sink = files.Create(path);
    ASSERT_TRUE(sink);
    ASSERT_GT(fs.Fill(), 0u);
    // The file's last page still has room; the write that crosses it is cut off whole.
    std::string written;
    int accepted = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::string chunk = "row " + std::to_string(i) + std::string(93, '.') + "\r\n";
        if (!sink->Write(chunk)) {
            break;
        }
        written += chunk;
        ++accepted;
    }
    ASSERT_LT(accepted, 1000) << "the disk never filled up";
    EXPECT_EQ(FileText(path), written);

    fs.Free();
    ASSERT_TRUE(sink->Write("after\r\n"));
    EXPECT_EQ(FileText(path), written + "after\r\n");
    EXPECT_FALSE(sink->Removed());
}

TEST(LogOnASmallTmpfs, ADayChangeWhileTheDiskIsFullLosesNoRow) {
    SmallFileSystem fs;
    if (!fs.mounted()) {
        GTEST_SKIP() << fs.why();
    }
    StdFileSystem files;
    RowWriter w(files, fs.Path("log.txt"), kBeforeMidnight - 3'599'000);  // 23:00:00
    ASSERT_TRUE(w.Row());
    ASSERT_GT(fs.Fill(), 0u);
    // Rows until one does not fit (the file's last page takes a hundred or so).
    size_t firstFailed = 0;
    while (firstFailed == 0 && w.rows.size() < 1000) {
        if (!w.Row()) {
            firstFailed = w.rows.size() - 1;
        }
    }
    ASSERT_GT(firstFailed, 0u) << "the disk never filled up";
    // Then on over midnight: two rows before it, four after.
    w.clock.AdvanceToUs(uint64_t{3'599} * 1'000'000);
    const size_t firstOfTheDay = w.rows.size() + 2;
    while (w.rows.size() < firstOfTheDay + 4) {
        EXPECT_FALSE(w.Row());
    }
    const std::string next = fs.Path("log_06_03__00_00_00.txt");
    EXPECT_EQ(w.log.CurrentFileName(), next);
    EXPECT_EQ(FileText(fs.Path("log.txt")), w.FileOf(0, firstFailed));
    EXPECT_EQ(FileText(next), "");  // made, but not even its header fits

    fs.Free();
    EXPECT_TRUE(w.Row());
    EXPECT_EQ(FileText(fs.Path("log.txt")), w.FileOf(0, firstOfTheDay));
    EXPECT_EQ(FileText(next), w.FileOf(firstOfTheDay, w.rows.size()));
    EXPECT_TRUE(w.log.TakeWriteFailure());
    EXPECT_FALSE(w.log.TakeWriteFailure());
}

TEST(LogOnASmallTmpfs, AFileRemovedWhileWrittenIsMadeAgain) {
    SmallFileSystem fs;
    if (!fs.mounted()) {
        GTEST_SKIP() << fs.why();
    }
    StdFileSystem files;
    RowWriter w(files, fs.Path("log.txt"), kMorning);
    ASSERT_TRUE(w.Row());
    ASSERT_EQ(std::remove(fs.Path("log.txt").c_str()), 0);
    // Without a look at the file's names the rows would go on into the removed file, unseen.
    EXPECT_TRUE(w.Row());
    EXPECT_TRUE(w.Row());
    EXPECT_EQ(FileText(fs.Path("log.txt")), w.FileOf(1, 3));
    EXPECT_TRUE(w.log.TakeWriteFailure());
}
