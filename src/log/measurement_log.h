// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/file_sink.h"

// What the first lines of a log file name: the transducer and the column titles. The titles
// are given for every polled parameter in poll order; those of the transducer's clock
// registers get no column (see HasLogColumn).
struct LogHeader {
    std::string modelName;
    int linkAddress = 0;
    std::vector<std::string> titles;
};

// The measurement log: one tab-separated UTF-8 text file per run and calendar day, one row per
// poll cycle. Rows are assembled by the caller as pieces (the time stamp first, then cells) and
// written with WriteLogText; every write is flushed, so a crash loses no finished row.
//
// Text that the file does not take (a full disk, a file removed or a folder gone) is kept, up
// to kMaxPendingBytes, and written before anything else as soon as the file takes it again,
// also across a day change; beyond that bound whole rows are dropped. A file that can no longer
// be reached under its name is opened again as soon as its folder is there: appended to when
// the file is still in it (a stick plugged back in), made anew with its header when it is not.
// Only the first file of a run must be created at once.
class MeasurementLog {
  public:
    enum class RowStart {
        kContinued,    // the file was open; a new line was begun in it
        kOpened,       // a file was created and its header written
        kCreateFailed  // the run's first file could not be created; nothing was written
    };

    MeasurementLog(FileSystem& files, Clock& clock);

    // The file chosen at Start (".txt" already ensured) and the time base of the time stamps.
    void SetBasePath(std::string basePath) { logBasePath_ = std::move(basePath); }
    const std::string& BasePath() const { return logBasePath_; }
    void SetLocalTime(bool localTime) { localTime_ = localTime; }

    // Begins a row: rolls the file over on a new day, opens a file (writing its header) when
    // none is open, or ends the previous line. On success rowPieces holds the time stamp piece.
    RowStart BeginLogRow(const LogHeader& header, std::vector<std::string>& rowPieces);

    // The cells of a failed poll: when beginRow is set a row is begun and its time stamp written
    // first; then cellCount placeholder cells.
    RowStart LogFailedPoll(const LogHeader& header, bool beginRow, size_t cellCount);

    // Writes text to the open file, each line feed as CR LF, and flushes it. False when nothing
    // is open or the text is not in the file yet (it is kept for the next write).
    bool WriteLogText(std::string_view text);

    // Closes the file, after a last attempt to write what it has not taken yet.
    void Close();
    // A file is in use in this run (it may be out of reach for the moment).
    bool IsOpen() const { return open_; }
    const std::string& CurrentFileName() const { return current_.name; }

    // True once when writes have begun to fail: cleared by TakeWriteFailure, and armed again
    // only after the files have taken everything kept for them (or at Close), so that one
    // outage is reported once, a day change in it included.
    bool TakeWriteFailure();

    // Bytes kept for the files that did not take them yet, and the rows dropped for the bound.
    size_t PendingBytes() const { return current_.pending.size() + previous_.pending.size(); }
    size_t DroppedRows() const { return droppedRows_; }

    static constexpr size_t kMaxPendingBytes = size_t{4} << 20;

  private:
    // One file of the log: its name, its sink (none while it is out of reach), the converted
    // text it has not taken yet and its converted header.
    struct LogFile {
        std::string name;
        std::unique_ptr<FileSink> sink;
        std::string pending;
        std::string header;
        bool made = false;  // the file was created once: it holds (or lost) its header
    };

    SystemTime Now();
    // Hands the kept text to its files; true when the current file has taken all of its own.
    bool Drain();
    // Hands a file its kept text; true when it took it. recreated is set when the file had to
    // be made anew (what it held is gone).
    bool DrainFile(LogFile& file, bool& recreated);
    // Opens a file that is out of reach again, or makes it when it is not there.
    void Reopen(LogFile& file, bool& recreated);

    FileSystem& files_;
    Clock& clock_;
    LogFile current_;
    // The file closed at a day change while it still had text to take.
    LogFile previous_;
    bool open_ = false;
    bool madeThisRun_ = false;  // a file of this run was created: later ones may wait
    std::string logBasePath_;
    bool localTime_ = true;
    uint16_t logDay_ = 0;
    bool suffixPending_ = false;
    bool dailySplit_ = true;
    bool writeFailing_ = false;  // a write failed and its text is still kept
    bool failureToReport_ = false;
    bool droppingRow_ = false;  // the row being written is over the bound
    size_t droppedRows_ = 0;
};

// The piece that a cell of the value text t makes in a row.
std::string LogCell(std::string_view text);
// The cell of a failed poll.
inline constexpr std::string_view kLogPlaceholderCell = "-----    \t";

// ".txt" appended to the name unless it contains ".txt" anywhere.
std::string EnsureTxtExtension(std::string name);
// False for the titles of the transducer's clock registers ("tms", "thm", "tmd", "ty").
bool HasLogColumn(std::string_view title);
// "05_03_2024 14:07:09,3": the computer-clock time stamp of a row (without the tab).
std::string LogTimeStamp(const SystemTime& time);
// The file name after a day change: the base path without its last four characters, "_",
// "DD_MM__hh_mm_ss", ".txt".
std::string RolledOverFileName(std::string_view basePath, const SystemTime& time);
// The header text: model line, empty line, column line.
std::string LogHeaderText(const LogHeader& header);
