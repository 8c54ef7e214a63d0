// SPDX-License-Identifier: MIT
// A program's real window against transducer-sim as a separate process on a pseudo-terminal,
// in real time: the port list shows the simulator's port, Start wakes the transducer, reads
// its configuration and polls it; the values appear, the log fills, Stop ends it.
// Built once per program (WINDOW_E2E_CALVENA selects the metrology tool).
#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/qt/brenno_app.h"
#include "channel/port_list.h"
#include "e2e/sim_process.h"
#include "gui/gui_support.h"
#include "platform/posix/posix_device_names.h"
#include "platform/posix/posix_serial_device.h"
#include "platform/posix/system_clock.h"
#include "support/log_text.h"
#include "support/small_file_system.h"

#ifdef WINDOW_E2E_CALVENA
#include "app/calvena_window.h"
#include "polling/calvena_variant.h"
namespace {
const ProgramVariant& Variant() {
    return CalvenaVariant();
}
const WindowDescription& Window() {
    return CalvenaWindow();
}
constexpr int kStatusLine = 1031;
constexpr int kTransducerTime = 1029;
constexpr const char* kModel = "TQ41";
constexpr int kFirstValue = 1018;  // Uab
constexpr int kSyncButton = 1027;
}  // namespace
#else
#include "app/polmira_window.h"
#include "polling/polmira_variant.h"
namespace {
const ProgramVariant& Variant() {
    return PolmiraVariant();
}
const WindowDescription& Window() {
    return PolmiraWindow();
}
constexpr int kStatusLine = 1042;
constexpr int kTransducerTime = 1040;
constexpr const char* kModel = "TQ21";
constexpr int kFirstValue = 1011;
constexpr int kSyncButton = 1027;
}  // namespace
#endif

namespace {

size_t CountTabs(const std::string& line) {
    return static_cast<size_t>(std::count(line.begin(), line.end(), '\t'));
}

// Answers every message box with "ОК" and keeps what it said.
class MessageBoxHand : public QObject {
  public:
    QStringList messages;

    MessageBoxHand() {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible()) {
                messages << box->windowTitle() + ": " + box->text();
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            }
        });
        timer_.start(50);
    }

  private:
    QTimer timer_;
};

// Names the log file in the save-file dialog as a user does: the name typed into its name field
// and Enter pressed (tried again until the dialog has taken it: it may still be setting itself
// up). Keeps the dialog's filters.
class FileDialogHand : public QObject {
  public:
    QStringList filters;

    explicit FileDialogHand(const std::filesystem::path& file) {
        connect(&timer_, &QTimer::timeout, this, [this, file] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) {
                return;
            }
            filters = dialog->nameFilters();
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) {
                name->setText(QString::fromStdString(file.string()));
                QTest::keyClick(name, Qt::Key_Return);
            }
        });
        timer_.start(100);
    }

  private:
    QTimer timer_;
};

// A program's window on the real platform objects, the remembered port the simulator's
// published one.
struct WindowOnSimulator {
    WindowOnSimulator(const SimProcess& sim, const std::string& portName)
        : devices("/sys/class/tty", (sim.RuntimeDir() / "transducer-sim").string()) {
        settings.values[kPortSettingKey] = portName;
        app = std::make_unique<CBrennoApp>(
            Variant(), Window(), AppPlatform{device, clock, fileSystem, settings, devices});
    }

    PosixSerialDevice device;
    SystemClock clock;
    StdFileSystem fileSystem;
    MemorySettingsStore settings;
    PosixDeviceNames devices;
    std::unique_ptr<CBrennoApp> app;
};

}  // namespace

class WindowEndToEnd : public QObject {
    Q_OBJECT

  private slots:
    void startPollLogStop() {
        const std::filesystem::path files = SimProcess::MakePrivateDirectory("window-e2e");
        SimProcess sim({"--model", kModel, "--name", "e2e-sim"});
        QVERIFY2(!sim.PortPath().empty(), sim.Stderr().c_str());

        WindowOnSimulator window(sim, "e2e-sim");
        CBrennoApp& app = *window.app;
        CBrennoDlg& dialog = app.dialog();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(qobject_cast<QComboBox*>(dialog.Control(1000))->currentText(), QString("e2e-sim"));

        auto* status = qobject_cast<QLineEdit*>(dialog.Control(kStatusLine));
        QStringList statusTexts;
        connect(status, &QLineEdit::textChanged, this, [&](const QString& text) {
            if (statusTexts.isEmpty() || statusTexts.back() != text)
                statusTexts << text;
        });

        // "Записать в файл", and the file named in the save-file dialog as a user would.
        const std::filesystem::path log = files / "measurements";
        qobject_cast<QAbstractButton*>(dialog.Control(1024))->setChecked(true);
        auto fileDialogHand = std::make_unique<FileDialogHand>(log);

        QElapsedTimer sinceStart;
        sinceStart.start();
        QTest::mouseClick(dialog.Control(1001), Qt::LeftButton);
        // Start returns once the first request is out and the timer runs.
        QVERIFY2(app.controller().IsPolling(), qPrintable(statusTexts.join(" | ")));
        QCOMPARE(fileDialogHand->filters, QStringList{"*.txt"});
        fileDialogHand.reset();
        const int valueField = kFirstValue;
        auto* firstValue = qobject_cast<QLineEdit*>(dialog.Control(valueField));
        QVERIFY(QTest::qWaitFor([&] { return firstValue->text() != "-----"; }, 5000));
        qInfo("Start to the first value: %lld ms", static_cast<long long>(sinceStart.elapsed()));
        QVERIFY(statusTexts.contains("Чтение конфигурации"));
        QVERIFY(statusTexts.contains("Запрос данных"));
        QVERIFY(!dialog.Control(1001)->isEnabled());

        // A value in physical units and the transducer's clock running.
        bool isNumber = false;
        firstValue->text().toDouble(&isNumber);
        QVERIFY2(isNumber, qPrintable(firstValue->text()));
        auto* transducerTime = qobject_cast<QLineEdit*>(dialog.Control(kTransducerTime));
        QVERIFY(transducerTime->text() != "00 : 00 : 0.00");

        const std::filesystem::path logFile = log.string() + ".txt";
        QVERIFY(QTest::qWaitFor([&] { return LinesOf(FileText(logFile)).size() >= 6; }, 5000));
        QTest::mouseClick(dialog.Control(1016), Qt::LeftButton);
        QVERIFY(!app.controller().IsPolling());
        QCOMPARE(status->text(), QString("Ожидание"));
        QVERIFY(dialog.Control(1001)->isEnabled());

        // The log: the model line, a blank line, the header, then a row per poll with a cell
        // under every column, CR LF between the lines; the last row is complete too.
        const std::string text = FileText(logFile);
        QVERIFY(text.find('\n') == text.find("\r\n") + 1);
        const std::vector<std::string> lines = LinesOf(text);
        QVERIFY(lines.size() >= 6);
        QVERIFY2(lines[0].rfind(std::string(kModel) + "-", 0) == 0, lines[0].c_str());
        QCOMPARE(lines[1], std::string());
        QVERIFY2(lines[2].rfind("time", 0) == 0, lines[2].c_str());
        for (size_t i = 3; i < lines.size(); ++i) {
            QCOMPARE(CountTabs(lines[i]), CountTabs(lines[2]));
            QVERIFY2(lines[i].find("-----") == std::string::npos, lines[i].c_str());
        }
        dialog.close();
        QVERIFY(sim.Stop().has_value());
        std::filesystem::remove_all(files);
    }
    // The disk of the log fills up while nobody is at the bench: the write error stays open for
    // eight seconds, polling goes on meanwhile, and once the disk has space again every row is
    // in the file. On a tmpfs of 64 KiB (skipped where mounting is not permitted).
    void fullDiskWhileTheMessageStaysOpen() {
        SmallFileSystem disk;
        if (!disk.mounted()) {
            QSKIP(disk.why().c_str());
        }
        SimProcess sim({"--model", kModel, "--name", "e2e-full"});
        QVERIFY2(!sim.PortPath().empty(), sim.Stderr().c_str());
        WindowOnSimulator window(sim, "e2e-full");
        CBrennoApp& app = *window.app;
        CBrennoDlg& dialog = app.dialog();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const std::filesystem::path logFile = disk.Path("full.txt");
        qobject_cast<QAbstractButton*>(dialog.Control(1024))->setChecked(true);
        auto fileDialogHand = std::make_unique<FileDialogHand>(logFile);
        QTest::mouseClick(dialog.Control(1001), Qt::LeftButton);
        fileDialogHand.reset();
        QVERIFY(app.controller().IsPolling());
        QVERIFY(QTest::qWaitFor([&] { return RowsOf(FileText(logFile)).size() >= 3; }, 8000));
        QVERIFY(disk.Fill() > 0);

        // The box is watched from a timer: while it is open, its own loop runs the program.
        struct {
            QElapsedTimer open;
            int ticksAtOpen = 0;
            int ticksWhileOpen = 0;
            bool freed = false;
            bool closed = false;
            QString text;
        } box;
        QTimer hand;
        connect(&hand, &QTimer::timeout, this, [&] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (shown == nullptr || !shown->isVisible() || box.closed) {
                return;
            }
            if (!box.open.isValid()) {
                box.open.start();
                box.ticksAtOpen = app.controller().tickCounter();
                box.text = shown->text();
            } else if (box.open.elapsed() >= 6000 && !box.freed) {
                disk.Free();  // space again, the box still open
                box.freed = true;
            } else if (box.open.elapsed() >= 8000) {
                box.ticksWhileOpen = app.controller().tickCounter() - box.ticksAtOpen;
                box.closed = true;
                QTest::mouseClick(shown->button(QMessageBox::Ok), Qt::LeftButton);
            }
        });
        hand.start(50);
        QVERIFY(QTest::qWaitFor([&] { return box.closed; }, 20000));
        QCOMPARE(box.text, QString::fromStdString("Ошибка записи в файл, " + logFile.string()));
        QTest::qWait(1000);
        QTest::mouseClick(dialog.Control(1016), Qt::LeftButton);

        const std::vector<std::string> rows = RowsOf(FileText(logFile));
        const int ticks = app.controller().tickCounter() - 1;
        const int groups = app.controller().pollPlan().groupCount;
        qInfo(
            "Ticks while the message was open (8 s): %d; rows written: %zu of %d ticks "
            "(%d poll groups)",
            box.ticksWhileOpen, rows.size(), ticks, groups);
        QVERIFY2(box.ticksWhileOpen >= 14, qPrintable(QString::number(box.ticksWhileOpen)));
        // A row per poll cycle, none torn, none lost.
        QVERIFY(std::abs(static_cast<int>(rows.size()) - (ticks + groups - 1) / groups) <= 1);
        for (const std::string& row : rows) {
            QVERIFY2(row.find("-----") == std::string::npos, row.c_str());
        }
        dialog.close();
        QVERIFY(sim.Stop().has_value());
    }

    void commandButtonsAgainstTheSimulator() {
#ifdef WINDOW_E2E_CALVENA
        SimProcess sim({"--model", "TQ21", "--name", "e2e-buttons"});
#else
        // The clock is set at link address 1 over IEC 60870-5-101, so the station has that one.
        SimProcess sim(
            {"--model", "TQ21", "--mode", "1", "--address", "1", "--name", "e2e-buttons"});
#endif
        QVERIFY2(!sim.PortPath().empty(), sim.Stderr().c_str());
        WindowOnSimulator window(sim, "e2e-buttons");
        CBrennoApp& app = *window.app;
        CBrennoDlg& dialog = app.dialog();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        MessageBoxHand boxes;

        auto* value = qobject_cast<QLineEdit*>(dialog.Control(kSlotControls[3].valueId));
        const auto pollsAgain = [&] {
            value->setText("-----");
            return QTest::qWaitFor([&] { return value->text() != "-----"; }, 3000);
        };
        QTest::mouseClick(dialog.Control(1001), Qt::LeftButton);
        QVERIFY2(app.controller().IsPolling(), qPrintable(boxes.messages.join(" | ")));
        QVERIFY(pollsAgain());

        // The clock set from the computer's clock; polling goes on by itself.
        QVERIFY(dialog.Control(kSyncButton)->isEnabled());
        QTest::mouseClick(dialog.Control(kSyncButton), Qt::LeftButton);
        QVERIFY2(boxes.messages.isEmpty(), qPrintable(boxes.messages.join(" | ")));
        QVERIFY(app.controller().IsPolling());
        QVERIFY(pollsAgain());

#ifdef WINDOW_E2E_CALVENA
        // The RTC test mode: polling ends and the transducer confirms.
        QVERIFY(dialog.Control(1041)->isEnabled());
        QTest::mouseClick(dialog.Control(1041), Qt::LeftButton);
        QCOMPARE(boxes.messages, QStringList{"RTC test: Запущен режим проверки RTC"});
        QVERIFY(!app.controller().IsPolling());
#else
        // The line's transfer delay over IEC 60870-5-101: a few ms on a pseudo-terminal.
        QVERIFY(dialog.Control(1030)->isEnabled());
        QTest::mouseClick(dialog.Control(1030), Qt::LeftButton);
        QVERIFY2(boxes.messages.isEmpty(), qPrintable(boxes.messages.join(" | ")));
        const QString delay = qobject_cast<QLabel*>(dialog.Control(1031))->text();
        QVERIFY2(QRegularExpression("^[0-9]+ ms$").match(delay).hasMatch(), qPrintable(delay));
        QVERIFY(app.controller().IsPolling());
        QVERIFY(pollsAgain());
        QTest::mouseClick(dialog.Control(1016), Qt::LeftButton);
#endif
        dialog.close();
        QVERIFY(sim.Stop().has_value());
    }
};

QTEST_MAIN(WindowEndToEnd)
#include "window_e2e_test.moc"
