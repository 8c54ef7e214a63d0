// SPDX-License-Identifier: MIT
#include "log/measurement_log.h"

#include <cstdio>

MeasurementLog::MeasurementLog(FileSystem& files, Clock& clock) : files_(files), clock_(clock) {}

SystemTime MeasurementLog::Now() {
    return localTime_ ? clock_.LocalTime() : clock_.UtcTime();
}

namespace {

// The text as the file stores it: each line feed as CR LF.
void AppendWithCrLf(std::string& to, std::string_view text) {
    for (char c : text) {
        if (c == '\n') {
            to += '\r';
        }
        to += c;
    }
}

}  // namespace

MeasurementLog::RowStart MeasurementLog::BeginLogRow(const LogHeader& header,
                                                     std::vector<std::string>& rowPieces) {
    const SystemTime now = Now();
    if (now.day != logDay_ && dailySplit_) {
        logDay_ = now.day;
        if (open_) {
            // A file that has not taken all of its rows (a full disk, a folder gone) keeps them
            // for later; a still older one that has not either is given up.
            Drain();
            if (!current_.pending.empty()) {
                previous_ = std::move(current_);
            }
            current_ = LogFile{};
            open_ = false;
            suffixPending_ = true;
        }
    }
    if (open_) {
        // Past the bound of kept text the row is dropped whole: line end, time stamp, cells.
        if (!current_.pending.empty()) {
            Drain();
        }
        droppingRow_ = current_.pending.size() >= kMaxPendingBytes;
        droppedRows_ += droppingRow_ ? 1 : 0;
        // The line end goes out with the row's first text, so that a row is written whole or
        // not at all, and the file of a program killed here ends with its last whole row.
        if (!droppingRow_) {
            AppendWithCrLf(current_.pending, "\n");
        }
        rowPieces.insert(rowPieces.begin(), LogTimeStamp(now) + "\t");
        return RowStart::kContinued;
    }

    current_ = LogFile{};
    current_.name = logBasePath_;
    logDay_ = now.day;
    if (suffixPending_) {
        current_.name = RolledOverFileName(logBasePath_, now);
        suffixPending_ = false;
    }
    AppendWithCrLf(current_.header, LogHeaderText(header));
    current_.sink = files_.Create(current_.name);
    droppingRow_ = false;
    if (current_.sink) {
        current_.made = true;
        madeThisRun_ = true;
        current_.pending = current_.header;
    } else if (!madeThisRun_) {
        return RowStart::kCreateFailed;
    }
    // A later file that cannot be made yet (its folder is gone) is made, with its header,
    // as soon as it can be; its rows wait for it.
    open_ = true;
    Drain();
    rowPieces.insert(rowPieces.begin(), LogTimeStamp(now) + "\t");
    return RowStart::kOpened;
}

MeasurementLog::RowStart MeasurementLog::LogFailedPoll(const LogHeader& header, bool beginRow,
                                                       size_t cellCount) {
    RowStart start = RowStart::kContinued;
    if (beginRow) {
        std::vector<std::string> pieces;
        start = BeginLogRow(header, pieces);
        if (start == RowStart::kCreateFailed) {
            return start;
        }
        WriteLogText(pieces.front());
    }
    std::string cells;
    for (size_t i = 0; i < cellCount; ++i) {
        cells += kLogPlaceholderCell;
    }
    if (!cells.empty()) {
        WriteLogText(cells);
    }
    return start;
}

bool MeasurementLog::WriteLogText(std::string_view text) {
    if (!open_) {
        return false;
    }
    const bool dropped = droppingRow_;
    if (!dropped) {
        AppendWithCrLf(current_.pending, text);
    }
    return Drain() && !dropped;
}

void MeasurementLog::Reopen(LogFile& file, bool& recreated) {
    if (file.made) {
        file.sink = files_.OpenForAppend(file.name);
        if (file.sink) {
            return;  // the kept text goes on where the file ends
        }
    }
    file.sink = files_.Create(file.name);
    if (!file.sink) {
        return;  // still out of reach: tried again at the next write
    }
    // The new file begins with the header; the kept text's first row needs no line end
    // before it.
    const bool lineEndFirst = file.pending.compare(0, 2, "\r\n") == 0;
    file.pending = file.header + file.pending.substr(lineEndFirst ? 2 : 0);
    // The rows written before went with the old file: worth a report, once.
    recreated = recreated || file.made;
    file.made = true;
}

bool MeasurementLog::DrainFile(LogFile& file, bool& recreated) {
    if (file.pending.empty()) {
        return true;
    }
    if (!file.sink) {
        Reopen(file, recreated);
    }
    bool ok = file.sink && file.sink->Write(file.pending);
    if (!ok && file.sink && file.sink->Removed()) {
        file.sink.reset();
        Reopen(file, recreated);
        ok = file.sink && file.sink->Write(file.pending);
    }
    if (ok) {
        file.pending.clear();
        ok = file.sink->Flush();
    }
    return ok;
}

bool MeasurementLog::Drain() {
    bool recreated = false;
    if (!previous_.pending.empty() && DrainFile(previous_, recreated)) {
        previous_ = LogFile{};
    }
    const bool ok = open_ && DrainFile(current_, recreated);
    if (!ok || !previous_.pending.empty() || recreated) {
        failureToReport_ = failureToReport_ || !writeFailing_;
        writeFailing_ = true;
    } else {
        writeFailing_ = false;
    }
    return ok;
}

void MeasurementLog::Close() {
    if (open_ || !previous_.pending.empty()) {
        Drain();
    }
    const std::string name = current_.name;
    current_ = LogFile{};
    current_.name = name;  // still named in a message after the Stop
    previous_ = LogFile{};
    open_ = false;
    madeThisRun_ = false;
    writeFailing_ = false;
    failureToReport_ = false;
    droppingRow_ = false;
}

bool MeasurementLog::TakeWriteFailure() {
    const bool failed = failureToReport_;
    failureToReport_ = false;
    return failed;
}

std::string LogCell(std::string_view text) {
    std::string cell(text);
    cell += "    \t";
    return cell;
}

std::string EnsureTxtExtension(std::string name) {
    if (name.find(".txt") == std::string::npos) {
        name += ".txt";
    }
    return name;
}

bool HasLogColumn(std::string_view title) {
    for (std::string_view clock : {"tms", "thm", "tmd", "ty"}) {
        if (title.find(clock) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::string LogTimeStamp(const SystemTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%.2u_%.2u_%.4u %.2u:%.2u:%.2u,%.1u", unsigned{t.day},
                  unsigned{t.month}, unsigned{t.year}, unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second}, unsigned{t.milliseconds} / 100u);
    return text;
}

std::string RolledOverFileName(std::string_view basePath, const SystemTime& t) {
    std::string name(basePath.substr(0, basePath.size() >= 4 ? basePath.size() - 4 : 0));
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, "_%.2u_%.2u__%.2u_%.2u_%.2u.txt", unsigned{t.day},
                  unsigned{t.month}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
    return name + suffix;
}

std::string LogHeaderText(const LogHeader& header) {
    std::string text = header.modelName + ": " + std::to_string(header.linkAddress) + "\n\n";
    text += "time           \t";
    for (const std::string& title : header.titles) {
        if (HasLogColumn(title)) {
            text += title + "    \t";
        }
    }
    text += "\n";
    return text;
}
