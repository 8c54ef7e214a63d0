// SPDX-License-Identifier: MIT
#include "app/qt/line_monitor_dlg.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "monitor/capture_file.h"

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Q(const char* text) {
    return QString::fromUtf8(text);
}

// Dark red: failed frames stand out and stay readable on a light background.
const QColor kFailedColor(0xB0, 0x00, 0x00);

}  // namespace

FrameListModel::FrameListModel(const TrafficRecorder& recorder, QObject* parent)
    : QAbstractTableModel(parent), recorder_(recorder) {}

int FrameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(end_ - first_);
}

int FrameListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant FrameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    if (section < 0 || static_cast<size_t>(section) >= kMonitorColumns.size()) {
        return {};
    }
    return QString::fromUtf8(kMonitorColumns[static_cast<size_t>(section)]);
}

QVariant FrameListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            const FrameRow& row = Row(index.row());
            switch (index.column()) {
                case kTime:
                    return role == Qt::DisplayRole ? Q(row.time) : QVariant();
                case kDirection:
                    return role == Qt::DisplayRole ? Q(row.direction) : QVariant();
                case kBytes:
                    return Q(row.hex);
                case kDecoded:
                    return Q(row.decoded);
                default:
                    return {};
            }
        }
        case Qt::ForegroundRole:
            return Row(index.row()).failed ? QVariant(kFailedColor) : QVariant();
        case Qt::FontRole:
            return index.column() == kBytes
                       ? QVariant(QFontDatabase::systemFont(QFontDatabase::FixedFont))
                       : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() == kDirection ? QVariant(Qt::AlignCenter) : QVariant();
        default:
            return {};
    }
}

FrameRow FrameListModel::MakeRow(uint64_t sequence) const {
    if (sequence < recorder_.FirstSequence() || sequence >= recorder_.CompleteEnd()) {
        FrameRow gone;
        gone.decoded = "кадр уже не хранится";
        return gone;
    }
    ++decodings_;
    return MakeFrameRow(recorder_.Frame(sequence), recorder_.LocalMsAtZero());
}

const FrameRow& FrameListModel::Row(int row) const {
    const uint64_t sequence = first_ + static_cast<uint64_t>(row);
    if (const auto found = cache_.find(sequence); found != cache_.end()) {
        return found->second;
    }
    if (cache_.size() >= kCacheRows) {
        cache_.clear();
    }
    return cache_.emplace(sequence, MakeRow(sequence)).first->second;
}

bool FrameListModel::Update(size_t limit) {
    const uint64_t end = recorder_.CompleteEnd();
    const uint64_t first = std::max(recorder_.FirstSequence(), end > limit ? end - limit : 0);
    if (first == first_ && end == end_) {
        return false;
    }
    if (first >= end_ || end < end_) {
        // Nothing shown stays: the list starts afresh.
        beginResetModel();
        first_ = first;
        end_ = end;
        cache_.clear();
        endResetModel();
        return true;
    }
    if (first > first_) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(first - first_) - 1);
        std::erase_if(cache_, [first](const auto& entry) { return entry.first < first; });
        first_ = first;
        endRemoveRows();
    }
    if (end > end_) {
        beginInsertRows(QModelIndex(), rowCount(), rowCount() + static_cast<int>(end - end_) - 1);
        end_ = end;
        endInsertRows();
    }
    return true;
}

void FrameListModel::Reset() {
    beginResetModel();
    first_ = end_ = recorder_.FirstSequence();
    cache_.clear();
    endResetModel();
}

CLineMonitorDlg::CLineMonitorDlg(TrafficRecorder& recorder, std::string application,
                                 QWidget* parent)
    : QWidget(parent, Qt::Window), recorder_(recorder), application_(std::move(application)) {
    setObjectName("lineMonitor");
    setWindowTitle(Q(kMonitorTitle));
    setAttribute(Qt::WA_QuitOnClose, false);

    model_ = new FrameListModel(recorder_, this);
    list_ = new QTableView(this);
    list_->setObjectName("frameList");
    list_->setAccessibleName(Q(kMonitorTitle));
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->setShowGrid(false);
    list_->setAlternatingRowColors(true);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Rows of one fixed height: the view never asks the model for more than it paints.
    QHeaderView* rows = list_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* columns = list_->horizontalHeader();
    columns->setStretchLastSection(true);
    columns->setHighlightSections(false);
    const QFontMetrics metrics = fontMetrics();
    const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list_->setColumnWidth(FrameListModel::kTime, metrics.horizontalAdvance("00:00:00.000") + 16);
    list_->setColumnWidth(FrameListModel::kDirection,
                          metrics.horizontalAdvance(QString::fromUtf8(kMonitorColumns[1])) + 16);
    list_->setColumnWidth(FrameListModel::kBytes, fixed.horizontalAdvance(QString(33, '0')));

    statistics_ = new QPlainTextEdit(this);
    statistics_->setObjectName("statistics");
    statistics_->setAccessibleName(QStringLiteral("Статистика"));
    statistics_->setReadOnly(true);
    statistics_->setLineWrapMode(QPlainTextEdit::NoWrap);
    statistics_->setFixedHeight(metrics.lineSpacing() * 6 + 12);

    pauseButton_ = new QPushButton(Q(kMonitorPause), this);
    pauseButton_->setObjectName("pauseButton");
    auto* clear = new QPushButton(Q(kMonitorClear), this);
    clear->setObjectName("clearButton");
    auto* copy = new QPushButton(Q(kMonitorCopy), this);
    copy->setObjectName("copyButton");
    auto* save = new QPushButton(Q(kMonitorSave), this);
    save->setObjectName("saveButton");
    for (QPushButton* button : {pauseButton_, clear, copy, save}) {
        button->setAutoDefault(false);
    }
    connect(pauseButton_, &QPushButton::clicked, this, [this] { SetPaused(!paused_); });
    connect(clear, &QPushButton::clicked, this, &CLineMonitorDlg::ClearFrames);
    connect(copy, &QPushButton::clicked, this, &CLineMonitorDlg::CopyRows);
    connect(save, &QPushButton::clicked, this, &CLineMonitorDlg::SaveToFile);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {pauseButton_, clear, copy, save}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(statistics_);
    layout->addLayout(buttons);
    resize(1160, 600);

    // Coarse: the refresh needs no precision and may share the wake-ups of the poll timer.
    refreshTimer_.setInterval(kRefreshMs);
    refreshTimer_.setTimerType(Qt::CoarseTimer);
    connect(&refreshTimer_, &QTimer::timeout, this, &CLineMonitorDlg::Refresh);
}

void CLineMonitorDlg::showEvent(QShowEvent* event) {
    Refresh();
    refreshTimer_.start();
    QWidget::showEvent(event);
}

void CLineMonitorDlg::hideEvent(QHideEvent* event) {
    // Closed, it costs nothing; the recorder goes on recording.
    refreshTimer_.stop();
    QWidget::hideEvent(event);
}

void CLineMonitorDlg::Refresh() {
    if (paused_) {
        return;
    }
    // The list follows the newest frame while it is scrolled to the bottom; a user who scrolled
    // up to read keeps his place.
    const QScrollBar* bar = list_->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    if (model_->Update(kMonitorListLimit) && following) {
        list_->scrollToBottom();
    }
    RefreshStatistics();
}

void CLineMonitorDlg::RefreshStatistics() {
    QStringList lines;
    for (const std::string& line : StatisticsLines(recorder_.Statistics())) {
        lines << Q(line);
    }
    const QString text = lines.join('\n');
    if (statistics_->toPlainText() != text) {
        statistics_->setPlainText(text);
    }
}

void CLineMonitorDlg::SetPaused(bool paused) {
    paused_ = paused;
    pauseButton_->setText(Q(paused ? kMonitorResume : kMonitorPause));
    Refresh();
}

void CLineMonitorDlg::ClearFrames() {
    recorder_.Clear();
    model_->Reset();
    RefreshStatistics();
}

void CLineMonitorDlg::CopyRows() {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    if (rows.empty()) {
        for (int row = 0; row < model_->rowCount(); ++row) {
            rows.push_back(row);
        }
    }
    QStringList lines;
    for (const int row : rows) {
        lines << Q(FrameRowLine(model_->Row(row)));
    }
    QApplication::clipboard()->setText(lines.join('\n'));
}

bool CLineMonitorDlg::SaveToFile() {
    QString file;
    if (saveFileDialog_) {
        file = saveFileDialog_(*this);
    } else {
        QFileDialog dialog(this, Q(kMonitorSave));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(Q(kMonitorSaveFilter));
        dialog.setDefaultSuffix("pcapng");
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            file = dialog.selectedFiles().front();
        }
    }
    if (file.isEmpty()) {
        return false;
    }
    if (!file.endsWith(".pcapng", Qt::CaseInsensitive)) {
        file += ".pcapng";
    }
    if (SaveCapture(files_, file.toStdString(), recorder_, application_)) {
        return true;
    }
    QMessageBox box(QMessageBox::Warning, Q(kMonitorTitle), Q(kMonitorSaveFailed) + ":\n" + file,
                    QMessageBox::Ok, this);
    box.setObjectName("message");
    box.button(QMessageBox::Ok)->setText("ОК");
    box.exec();
    return false;
}
