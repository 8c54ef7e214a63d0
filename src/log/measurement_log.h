#pragma once

#include <cstddef>
#include <cstdint>
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
class MeasurementLog {
  public:
    enum class RowStart {
        kContinued,    // the file was open; a new line was begun in it
        kOpened,       // a file was created and its header written
        kCreateFailed  // the file could not be created; nothing was written
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
    // is open or the write failed.
    bool WriteLogText(std::string_view text);

    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& CurrentFileName() const { return currentFileName_; }

    // Set when a write to the current file has failed; cleared by TakeWriteFailure, so that a
    // failure is reported once.
    bool TakeWriteFailure();

  private:
    SystemTime Now();

    FileSystem& files_;
    Clock& clock_;
    std::unique_ptr<FileSink> file_;
    std::string logBasePath_;
    std::string currentFileName_;
    bool localTime_ = true;
    uint16_t logDay_ = 0;
    bool suffixPending_ = false;
    bool dailySplit_ = true;
    bool writeFailed_ = false;
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
