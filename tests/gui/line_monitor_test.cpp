// SPDX-License-Identifier: MIT
// "Монитор линии" in the Qt front end, offscreen: opened from the window's menu, the frames of a
// Start against the simulated transducer (in virtual time) from the wake-up to polling, pause,
// clear, copy, save as pcapng, a list that decodes only what it shows, and a main window that
// shows and sends exactly the same with the monitor open.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/calvena_window.h"
#include "app/polmira_window.h"
#include "app/qt/line_monitor_dlg.h"
#include "gui/gui_sim_support.h"
#include "gui/gui_support.h"
#include "monitor/frame_decoding.h"
#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"

namespace {

// The window's menu as a user opens it, with the item of this object name chosen; returns the
// menu's item texts in their order.
QStringList ChooseFromWindowMenu(QWidget& window, const QString& item) {
    QStringList texts;
    QTimer::singleShot(50, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr)
            return;
        for (QAction* action : menu->actions())
            texts << action->text();
        menu->setActiveAction(menu->findChild<QAction*>(item));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            window.mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(&window, &event);
    return texts;
}

QPushButton* Button(CLineMonitorDlg& monitor, const char* name) {
    return monitor.findChild<QPushButton*>(name);
}

QString Cell(const CLineMonitorDlg& monitor, int row, int column) {
    return monitor.Model().index(row, column).data().toString();
}

int FindRow(const CLineMonitorDlg& monitor, const QString& text) {
    for (int row = 0; row < monitor.Model().rowCount(); ++row) {
        if (Cell(monitor, row, FrameListModel::kDecoded).contains(text))
            return row;
    }
    return -1;
}

QString Statistics(const CLineMonitorDlg& monitor) {
    return monitor.StatisticsArea().toPlainText();
}

// A polmira window against TQ21 (Modbus RTU), started and polling for a while.
struct PollingWindow : SimulatedWindow {
    PollingWindow() : SimulatedWindow(PolmiraVariant(), PolmiraWindow(), SteadyProfile("TQ21")) {}
    CLineMonitorDlg& StartWithMonitor(uint32_t pollingMs = 2000) {
        CLineMonitorDlg& monitor = Dialog().ShowLineMonitor();
        Start();
        RunFor(pollingMs);
        monitor.Refresh();
        return monitor;
    }
};

// What the main window showed and the program sent during a Start and polling after it.
struct SessionSeen {
    QStringList shown;
    QStringList writes;
};

SessionSeen RunSession(bool withMonitor) {
    PollingWindow w;
    if (withMonitor) {
        CLineMonitorDlg& monitor = w.Dialog().ShowLineMonitor();
        // The monitor refreshes at every step of every wait, far more often than its timer.
        w.time.onStep = [&monitor] { monitor.Refresh(); };
    }
    w.Start();
    w.RunFor(3000);
    w.transducer.InjectFault(SimFault::kBadChecksum);
    w.RunFor(2000);
    SessionSeen seen{w.shown, {}};
    for (const VirtualLine::Write& write : w.line.Writes()) {
        seen.writes << QString("%1 %2")
                           .arg(write.timeUs)
                           .arg(QString::fromStdString(HexBytes(write.bytes, 1000)));
    }
    return seen;
}

}  // namespace

class LineMonitorTest : public QObject {
    Q_OBJECT

  private slots:
    void theWindowMenuOpensOneMonitor() {
        WindowUnderTest w;
        w.Open(PolmiraVariant(), PolmiraWindow());
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        QCOMPARE(w.Dialog().LineMonitor(), nullptr);

        const QStringList items = ChooseFromWindowMenu(w.Dialog(), "lineMonitorItem");
        QCOMPARE(items, (QStringList{"&Сведения о Polmira", "Монитор линии"}));
        CLineMonitorDlg* monitor = w.Dialog().LineMonitor();
        QVERIFY(monitor != nullptr);
        QVERIFY(monitor->isVisible());
        QVERIFY(monitor->isWindow() && !monitor->isModal());
        QCOMPARE(monitor->windowTitle(), QString("Монитор линии"));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(monitor->RefreshTimer().isActive());
        QCOMPARE(monitor->RefreshTimer().interval(), CLineMonitorDlg::kRefreshMs);
        QCOMPARE(monitor->Model().rowCount(), 0);
        QStringList headers;
        for (int column = 0; column < FrameListModel::kColumnCount; ++column)
            headers
                << monitor->Model().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        QCOMPARE(headers, (QStringList{"Время", "Направление", "Байты", "Расшифровка"}));
        QStringList buttons;
        for (const char* name : {"pauseButton", "clearButton", "copyButton", "saveButton"})
            buttons << Button(*monitor, name)->text();
        QCOMPARE(buttons, (QStringList{"Пауза", "Очистить", "Копировать", "Сохранить…"}));
        QVERIFY(monitor->StatisticsArea().isReadOnly());

        // Opened again: the same window, shown again after it was closed.
        monitor->close();
        QVERIFY(!monitor->RefreshTimer().isActive());
        ChooseFromWindowMenu(w.Dialog(), "lineMonitorItem");
        QCOMPARE(w.Dialog().LineMonitor(), monitor);
        QVERIFY(monitor->isVisible());

        // Closing the main window closes it.
        w.Dialog().close();
        QVERIFY(!monitor->isVisible());
    }

    // Each exchange mode's Start, from the first wake-up byte to polling.
    void aStartIsShownFromTheWakeUpToPolling_data() {
        QTest::addColumn<bool>("iec");
        QTest::addColumn<QString>("pollProtocol");
        QTest::newRow("Modbus RTU") << false << "Modbus RTU";
        QTest::newRow("IEC 60870-5-101") << true << "FT1.2";
    }
    void aStartIsShownFromTheWakeUpToPolling() {
        QFETCH(bool, iec);
        QFETCH(QString, pollProtocol);
        SimulatedWindow w(PolmiraVariant(), PolmiraWindow(),
                          iec ? SteadyIecProfile() : SteadyProfile("TQ21"));
        CLineMonitorDlg& monitor = w.Dialog().ShowLineMonitor();
        w.Start();
        w.RunFor(2000);
        QVERIFY2(w.shown.contains("status: Запрос данных"), qPrintable(w.shown.join('\n')));
        monitor.Refresh();

        const TrafficRecorder& traffic = w.Traffic();
        QCOMPARE(monitor.Model().First(), traffic.FirstSequence());
        QCOMPARE(monitor.Model().End(), traffic.CompleteEnd());
        QVERIFY(monitor.Model().rowCount() > 10);
        QVERIFY2(Cell(monitor, 0, FrameListModel::kDecoded).startsWith("Пробуждение"),
                 qPrintable(Cell(monitor, 0, FrameListModel::kDecoded)));
        QCOMPARE(Cell(monitor, 0, FrameListModel::kDirection), QString("→"));
        QCOMPARE(Cell(monitor, 0, FrameListModel::kBytes), QString("00"));  // the first byte alone
        QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$")
                    .match(Cell(monitor, 0, FrameListModel::kTime))
                    .hasMatch());
        // Polling: requests and answers of the mode, the answers received.
        const int last = monitor.Model().rowCount() - 1;
        QVERIFY2(Cell(monitor, last, FrameListModel::kDecoded).contains(pollProtocol),
                 qPrintable(Cell(monitor, last, FrameListModel::kDecoded)));
        QVERIFY(FindRow(monitor, pollProtocol) > 0);
        bool received = false;
        for (int row = 0; row <= last; ++row)
            received |= Cell(monitor, row, FrameListModel::kDirection) == "←";
        QVERIFY(received);
        // The statistics count the requests.
        const QString statistics = Statistics(monitor);
        QVERIFY2(statistics.startsWith("Запросов: ") && !statistics.startsWith("Запросов: 0,"),
                 qPrintable(statistics));
        QVERIFY(statistics.contains("Опросов в секунду: "));
        // The list follows the newest frame.
        const QScrollBar* bar = monitor.List().verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());

        if (!iec && qEnvironmentVariableIsSet("LINE_MONITOR_SCREENSHOT")) {
            // docs/line-monitor-qt.png: polling with one bad answer among the good ones.
            w.transducer.InjectFault(SimFault::kBadChecksum);
            w.RunFor(1500);
            monitor.Refresh();
            QVERIFY(monitor.grab().save(qEnvironmentVariable("LINE_MONITOR_SCREENSHOT")));
        }
    }

    void failedFramesAreRed() {
        PollingWindow w;
        CLineMonitorDlg& monitor = w.StartWithMonitor();
        w.transducer.InjectFault(SimFault::kBadChecksum);
        w.RunFor(1000);
        monitor.Refresh();
        int failed = 0;
        for (int row = 0; row < monitor.Model().rowCount(); ++row) {
            const QVariant color =
                monitor.Model().index(row, FrameListModel::kDecoded).data(Qt::ForegroundRole);
            const bool red = color.isValid() && color.value<QColor>().red() > 0x80 &&
                             color.value<QColor>().green() == 0;
            QCOMPARE(red, monitor.Model().Row(row).failed);
            failed += red ? 1 : 0;
        }
        QVERIFY(failed >= 1);
        QVERIFY(Statistics(monitor).contains("ошибок контрольной суммы: 1"));
    }

    void pauseHoldsTheListWhileFramesArrive() {
        PollingWindow w;
        CLineMonitorDlg& monitor = w.StartWithMonitor();
        const int rows = monitor.Model().rowCount();
        const QString statistics = Statistics(monitor);
        QTest::mouseClick(Button(monitor, "pauseButton"), Qt::LeftButton);
        QVERIFY(monitor.Paused());
        QCOMPARE(Button(monitor, "pauseButton")->text(), QString("Продолжить"));

        const uint64_t recordedBefore = w.Traffic().CompleteEnd();
        w.RunFor(2000);
        monitor.Refresh();
        QVERIFY(w.Traffic().CompleteEnd() > recordedBefore + 4);  // the recorder went on
        QCOMPARE(monitor.Model().rowCount(), rows);
        QCOMPARE(Statistics(monitor), statistics);

        QTest::mouseClick(Button(monitor, "pauseButton"), Qt::LeftButton);
        QVERIFY(!monitor.Paused());
        QCOMPARE(Button(monitor, "pauseButton")->text(), QString("Пауза"));
        QCOMPARE(monitor.Model().End(), w.Traffic().CompleteEnd());  // caught up at once
        QVERIFY(Statistics(monitor) != statistics);
    }

    void clearEmptiesTheListAndTheStatistics() {
        PollingWindow w;
        CLineMonitorDlg& monitor = w.StartWithMonitor();
        QVERIFY(monitor.Model().rowCount() > 0);
        QTest::mouseClick(Button(monitor, "clearButton"), Qt::LeftButton);
        QCOMPARE(monitor.Model().rowCount(), 0);
        QCOMPARE(w.Traffic().Statistics().requests, 0u);
        QVERIFY2(Statistics(monitor).startsWith("Запросов: 0,"), qPrintable(Statistics(monitor)));

        // What follows is listed from the clearing on: polling, no wake-up.
        w.RunFor(1000);
        monitor.Refresh();
        QVERIFY(monitor.Model().rowCount() > 0);
        QCOMPARE(FindRow(monitor, "Пробуждение"), -1);
        QVERIFY(FindRow(monitor, "Modbus RTU") >= 0);
    }

    void copyPutsTabSeparatedRowsOnTheClipboard() {
        PollingWindow w;
        CLineMonitorDlg& monitor = w.StartWithMonitor();
        const int rows = monitor.Model().rowCount();
        const auto expectedLine = [&](int row) {
            const TrafficRecorder& traffic = w.Traffic();
            const TrafficFrame frame = traffic.Frame(monitor.Model().First() + row);
            return QString::fromStdString(
                FrameRowLine(MakeFrameRow(frame, traffic.LocalMsAtZero())));
        };

        // Nothing selected: every row shown.
        QTest::mouseClick(Button(monitor, "copyButton"), Qt::LeftButton);
        const QStringList all = QApplication::clipboard()->text().split('\n');
        QCOMPARE(all.size(), rows);
        QCOMPARE(all.front(), expectedLine(0));
        QCOMPARE(all.back(), expectedLine(rows - 1));
        for (const QString& line : all)
            QVERIFY2(line.count('\t') >= 3, qPrintable(line));

        // The selected rows, in the list's order whatever the order of selecting.
        monitor.List().selectRow(5);
        monitor.List().selectionModel()->select(
            monitor.Model().index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::mouseClick(Button(monitor, "copyButton"), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), expectedLine(2) + "\n" + expectedLine(5));
    }

    void saveWritesAPcapngCapture() {
        PollingWindow w;
        CLineMonitorDlg& monitor = w.StartWithMonitor();
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        struct Case {
            QString chosen;  // what the save-file dialog gives; empty: cancelled
            QString written;
            bool saved;
        };
        const QList<Case> cases = {
            {dir.filePath("line"), dir.filePath("line.pcapng"), true},
            {dir.filePath("capture.pcapng"), dir.filePath("capture.pcapng"), true},
            {QString(), QString(), false},
            {dir.filePath("missing/folder/line.pcapng"), QString(), false},
        };
        for (const Case& c : cases) {
            monitor.SetSaveFileDialog([&c](QWidget&) { return c.chosen; });
            QString message;
            if (!c.saved && !c.chosen.isEmpty()) {
                WhenModalOpens([&](QWidget& modal) {
                    if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
                        message = box->text();
                        box->button(QMessageBox::Ok)->click();
                    }
                });
            }
            QCOMPARE(monitor.SaveToFile(), c.saved);
            if (c.saved) {
                QFile file(c.written);
                QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(c.written));
                const QByteArray bytes = file.readAll();
                QVERIFY(bytes.size() > 1000);
                QCOMPARE(bytes.left(4), QByteArray("\x0A\x0D\x0D\x0A", 4));
            } else if (!c.chosen.isEmpty()) {
                QVERIFY2(message.startsWith("Не удалось записать файл"), qPrintable(message));
            }
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{"capture.pcapng", "line.pcapng"}));
    }

    // A store fuller than the list: the list holds the newest kMonitorListLimit frames, and a
    // refresh decodes only the rows painted, whatever the number of frames.
    void theListDecodesOnlyWhatItShows() {
        WindowUnderTest w;
        w.Open(PolmiraVariant(), PolmiraWindow());
        TrafficRecorder& traffic = w.app->channel().Traffic();
        const auto record = [&](int frames) {
            std::vector<uint8_t> request = {0x03, 0x04, 0x00, 0x00, 0x00, 0x40, 0xF0, 0x38};
            for (int i = 0; i < frames; ++i) {
                w.clock.AdvanceUs(50'000);
                request[5] = static_cast<uint8_t>(i);
                traffic.RecordWrite(request);
            }
        };
        traffic.SetKind(FrameKind::kModbusRtu);
        traffic.SetPhase(TrafficPhase::kPolling);
        record(static_cast<int>(kMonitorListLimit) + 500);
        CLineMonitorDlg& monitor = w.Dialog().ShowLineMonitor();
        QVERIFY(QTest::qWaitForWindowExposed(&monitor));
        (void)monitor.grab();  // painted
        QCOMPARE(monitor.Model().rowCount(), static_cast<int>(kMonitorListLimit));
        QCOMPARE(monitor.Model().End(), traffic.CompleteEnd());
        const uint64_t decodedForOnePage = monitor.Model().Decodings();
        QVERIFY2(decodedForOnePage > 0 && decodedForOnePage < 200,
                 qPrintable(QString::number(decodedForOnePage)));
        const QScrollBar* bar = monitor.List().verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());

        // New frames: the oldest rows go, the new ones are appended and followed, and only
        // those that come into view are decoded.
        record(100);
        monitor.Refresh();
        (void)monitor.grab();
        QCOMPARE(monitor.Model().rowCount(), static_cast<int>(kMonitorListLimit));
        QCOMPARE(monitor.Model().End(), traffic.CompleteEnd());
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(monitor.Model().Decodings() - decodedForOnePage < 200);
        QCOMPARE(Cell(monitor, monitor.Model().rowCount() - 1, FrameListModel::kBytes),
                 QString::fromStdString(HexBytes(traffic.Frame(traffic.CompleteEnd() - 1).bytes)));

        // Scrolled up to read: the place is kept while frames come.
        monitor.List().verticalScrollBar()->setValue(0);
        record(10);
        monitor.Refresh();
        QCOMPARE(bar->value(), 0);
        QCOMPARE(monitor.Model().End(), traffic.CompleteEnd());
    }

    // Frames the store has dropped leave the list, too.
    void framesDroppedFromTheStoreLeaveTheList() {
        WindowUnderTest w;
        w.Open(PolmiraVariant(), PolmiraWindow());
        TrafficRecorder& traffic = w.app->channel().Traffic();
        CLineMonitorDlg& monitor = w.Dialog().ShowLineMonitor();
        const std::vector<uint8_t> bytes(1000, 0x55);
        while (traffic.FirstSequence() == 0) {
            w.clock.AdvanceUs(10'000);
            traffic.RecordWrite(bytes);
        }
        monitor.Refresh();
        QCOMPARE(monitor.Model().First(), traffic.FirstSequence());
        QCOMPARE(monitor.Model().End(), traffic.CompleteEnd());
        QVERIFY(static_cast<size_t>(monitor.Model().rowCount()) < kMonitorListLimit);
        QVERIFY(Statistics(monitor).contains("Старых кадров отброшено: "));
    }

    // The monitor only reads: with it open and refreshing all the time, the main window shows
    // the same texts in the same order, and the program writes the same bytes at the same
    // (virtual) times, as without it.
    void theMainWindowIsTheSameWithTheMonitorOpen() {
        const SessionSeen without = RunSession(false);
        const SessionSeen with = RunSession(true);
        QVERIFY(without.shown.contains("status: Запрос данных"));
        QVERIFY(without.writes.size() > 10);
        QCOMPARE(with.shown, without.shown);
        QCOMPARE(with.writes, without.writes);
    }

    void theCalvenaWindowHasTheMonitorToo() {
        SimulatedWindow w(CalvenaVariant(), CalvenaWindow(), SteadyProfile("TQ21"));
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        ChooseFromWindowMenu(w.Dialog(), "lineMonitorItem");
        CLineMonitorDlg* monitor = w.Dialog().LineMonitor();
        QVERIFY(monitor != nullptr && monitor->isVisible());
        w.Start();
        w.RunFor(1000);
        monitor->Refresh();
        QVERIFY(FindRow(*monitor, "Modbus RTU") > 0);
        w.Dialog().close();
        QVERIFY(!monitor->isVisible());
    }
};

QTEST_MAIN(LineMonitorTest)
#include "line_monitor_test.moc"
