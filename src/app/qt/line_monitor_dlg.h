// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "channel/traffic_recorder.h"
#include "monitor/monitor_text.h"
#include "platform/file_sink.h"

class QPlainTextEdit;
class QPushButton;
class QTableView;

// The frame list over the recorder: row i is the frame with sequence First() + i. A row is
// decoded only when the view asks for it (the rows painted) and kept in a small cache, so that
// bringing the list up to date costs nothing per frame but the row count.
class FrameListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { kTime, kDirection, kBytes, kDecoded, kColumnCount };
    // Decoded rows kept; the cache starts afresh when it is full.
    static constexpr size_t kCacheRows = 2048;

    explicit FrameListModel(const TrafficRecorder& recorder, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Follows the recorder: rows of frames it no longer stores or beyond the newest `limit` go
    // from the top, its new complete frames are appended. True when the rows changed.
    bool Update(size_t limit);
    // No rows; the next Update starts from the recorder's first stored frame.
    void Reset();

    uint64_t First() const { return first_; }
    uint64_t End() const { return end_; }
    // The row's texts; a frame dropped from the store meanwhile shows only that.
    const FrameRow& Row(int row) const;
    // How many frames were decoded for the list so far.
    uint64_t Decodings() const { return decodings_; }

  private:
    FrameRow MakeRow(uint64_t sequence) const;

    const TrafficRecorder& recorder_;
    uint64_t first_ = 0;
    uint64_t end_ = 0;
    mutable std::unordered_map<uint64_t, FrameRow> cache_;
    mutable uint64_t decodings_ = 0;
};

// "Монитор линии": the frames on the line and the session's statistics, refreshed by a timer
// of its own while shown, with pause, clear, copy and saving as a pcapng capture. A separate,
// non-modal window; it only reads the recorder (Clear aside) and never touches the exchanges.
class CLineMonitorDlg : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kRefreshMs = 200;

    // application names the program in the capture files.
    CLineMonitorDlg(TrafficRecorder& recorder, std::string application, QWidget* parent = nullptr);

    // The save-file dialog for the capture: the name chosen, empty when cancelled. Qt's own
    // dialog with the pcapng filter unless another is given (tests).
    using SaveFileDialog = std::function<QString(QWidget& owner)>;
    void SetSaveFileDialog(SaveFileDialog dialog) { saveFileDialog_ = std::move(dialog); }

    // The list and the statistics brought up to the recorder, unless paused (the timer's work).
    void Refresh();
    bool Paused() const { return paused_; }
    void SetPaused(bool paused);
    // "Очистить": the recorder forgets its frames and statistics, the list is emptied.
    void ClearFrames();
    // "Копировать": the selected rows, or all rows shown when none is selected.
    void CopyRows();
    // "Сохранить…": asks for a file and writes the capture; false when cancelled or failed.
    bool SaveToFile();

    QTableView& List() const { return *list_; }
    QPlainTextEdit& StatisticsArea() const { return *statistics_; }
    const FrameListModel& Model() const { return *model_; }
    const QTimer& RefreshTimer() const { return refreshTimer_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void RefreshStatistics();

    TrafficRecorder& recorder_;
    std::string application_;
    FrameListModel* model_ = nullptr;
    QTableView* list_ = nullptr;
    QPlainTextEdit* statistics_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QTimer refreshTimer_;
    bool paused_ = false;
    SaveFileDialog saveFileDialog_;
    StdFileSystem files_;
};
