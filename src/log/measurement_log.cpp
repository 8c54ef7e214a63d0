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
        if (IsOpen()) {
            // A file that has not taken all of its rows (a full disk) keeps them for later; a
            // still older one that has not either is given up.
            Drain();
            if (!pending_.empty()) {
                previous_ = std::move(file_);
                previousPending_ = std::move(pending_);
                pending_.clear();
            }
            file_.reset();
            suffixPending_ = true;
        }
    }
    if (IsOpen()) {
        // Past the bound of kept text the row is dropped whole: line end, time stamp, cells.
        if (!pending_.empty()) {
            Drain();
        }
        droppingRow_ = pending_.size() >= kMaxPendingBytes;
        droppedRows_ += droppingRow_ ? 1 : 0;
        // The line end goes out with the row's first text, so that a row is written whole or
        // not at all, and the file of a program killed here ends with its last whole row.
        if (!droppingRow_) {
            AppendWithCrLf(pending_, "\n");
        }
        rowPieces.insert(rowPieces.begin(), LogTimeStamp(now) + "\t");
        return RowStart::kContinued;
    }

    currentFileName_ = logBasePath_;
    logDay_ = now.day;
    if (suffixPending_) {
        currentFileName_ = RolledOverFileName(logBasePath_, now);
        suffixPending_ = false;
    }
    file_ = files_.Create(currentFileName_);
    if (!file_) {
        return RowStart::kCreateFailed;
    }
    droppingRow_ = false;
    pending_.clear();
    headerText_.clear();
    AppendWithCrLf(headerText_, LogHeaderText(header));
    pending_ = headerText_;
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
    if (!IsOpen()) {
        return false;
    }
    const bool dropped = droppingRow_;
    if (!dropped) {
        AppendWithCrLf(pending_, text);
    }
    return Drain() && !dropped;
}

bool MeasurementLog::Drain() {
    if (previous_ && previous_->Write(previousPending_)) {
        previous_->Flush();
        previous_.reset();
        previousPending_.clear();
    }
    bool ok = file_ != nullptr;
    bool recreated = false;
    if (file_ && !pending_.empty()) {
        ok = file_->Write(pending_);
        if (!ok && file_->Removed()) {
            // The rows written before went with the file: worth a report, once.
            Recreate();
            recreated = true;
            ok = file_ && file_->Write(pending_);
        }
        if (ok) {
            pending_.clear();
            ok = file_->Flush();
        }
    }
    if (!ok || previous_ || recreated) {
        failureToReport_ = failureToReport_ || !writeFailing_;
        writeFailing_ = true;
    } else {
        writeFailing_ = false;
    }
    return ok;
}

void MeasurementLog::Recreate() {
    file_ = files_.Create(currentFileName_);
    if (!file_) {
        return;  // the next row tries to create it, and says so when it cannot
    }
    // The kept text continues the rows of the removed file: the new one begins with the
    // header, and its first row needs no line end before it.
    const bool lineEndFirst = pending_.compare(0, 2, "\r\n") == 0;
    pending_ = headerText_ + pending_.substr(lineEndFirst ? 2 : 0);
}

void MeasurementLog::Close() {
    if (file_ || previous_) {
        Drain();
    }
    file_.reset();
    previous_.reset();
    pending_.clear();
    previousPending_.clear();
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
