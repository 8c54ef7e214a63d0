#include "log/measurement_log.h"

#include <cstdio>

MeasurementLog::MeasurementLog(FileSystem& files, Clock& clock) : files_(files), clock_(clock) {}

SystemTime MeasurementLog::Now() {
    return localTime_ ? clock_.LocalTime() : clock_.UtcTime();
}

MeasurementLog::RowStart MeasurementLog::BeginLogRow(const LogHeader& header,
                                                     std::vector<std::string>& rowPieces) {
    const SystemTime now = Now();
    if (now.day != logDay_ && dailySplit_) {
        logDay_ = now.day;
        if (IsOpen()) {
            Close();
            suffixPending_ = true;
        }
    }
    if (IsOpen()) {
        WriteLogText("\n");
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
    writeFailed_ = false;
    WriteLogText(LogHeaderText(header));
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
    std::string bytes;
    bytes.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    const bool ok = file_->Write(bytes) && file_->Flush();
    if (!ok) {
        writeFailed_ = true;
    }
    return ok;
}

void MeasurementLog::Close() {
    file_.reset();
}

bool MeasurementLog::TakeWriteFailure() {
    const bool failed = writeFailed_;
    writeFailed_ = false;
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
