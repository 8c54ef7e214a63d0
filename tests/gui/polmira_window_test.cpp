// SPDX-License-Identifier: MIT
// The viewer's main window, offscreen: its initial state, layout, keyboard filter, about
// box, port list, data-format switch and parameter dialog.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "app/polmira_window.h"
#include "app/qt/input_address_dlg.h"
#include "channel/port_list.h"
#include "gui/gui_support.h"
#include "polling/polmira_variant.h"

class PolmiraWindowTest : public QObject {
    Q_OBJECT

  private:
    WindowUnderTest w;

    void OpenWithPorts(std::vector<TtyDevice> ttys, std::optional<std::string> remembered) {
        w.devices.ttys = std::move(ttys);
        w.settings.values.clear();
        if (remembered) {
            w.settings.values[kPortSettingKey] = *remembered;
        }
        w.Open(PolmiraVariant(), PolmiraWindow());
    }

  private slots:
    void init() { OpenWithPorts({StandInDevices::Usb("ttyUSB0")}, "ttyUSB0"); }

    void initialState() {
        QCOMPARE(w.Dialog().windowTitle(), QString("Polmira"));
        QCOMPARE(w.Text(1042), QString("Ожидание"));
        QCOMPARE(w.Text(1040), QString("00 : 00 : 0.00"));
        QCOMPARE(w.Text(1041), QString("00 : 00 : 0.00"));
        for (const SlotControls& slot : kSlotControls) {
            QCOMPARE(w.Text(slot.valueId), QString("-----"));
        }
        QCOMPARE(w.Text(1023), QString("500"));
        QCOMPARE(w.Items(1025), (QStringList{"GMT", "Local"}));
        QCOMPARE(w.Control<QComboBox>(1025)->currentText(), QString("Local"));
        QStringList groups{"Общий"};
        for (int g = 1; g <= 16; ++g)
            groups << QString::number(g);
        QCOMPARE(w.Items(1029), groups);
        QCOMPARE(w.Control<QComboBox>(1029)->currentIndex(), 0);
        QVERIFY(w.Control<QRadioButton>(1032)->isChecked());
        QVERIFY(!w.Control<QAbstractButton>(1024)->isChecked());
        auto* format = w.Control<QPushButton>(1039);
        QVERIFY(format->isCheckable() && format->isChecked());
        QCOMPARE(format->text(), QString("Физ. ед"));

        // Captions of the three panels, in their frames; the three-phase frame hidden.
        QCOMPARE(w.Control<QLabel>(1010)->text(), QString("Uac1"));
        QCOMPARE(w.Control<QLabel>(1012)->text(), QString("Uac2"));
        QCOMPARE(w.Control<QLabel>(1014)->text(), QString(""));
        QCOMPARE(w.Control<QLabel>(1004)->text(), QString("Udc1"));
        QCOMPARE(w.Control<QLabel>(1017)->text(), QString("Uacdc1"));
        for (int frame : {1036, 1037, 1038}) {
            QVERIFY(!w.Control(frame)->isHidden());
        }
        QVERIFY(w.Control(1043)->isHidden());
        for (int id : {1030, 1035, 1031}) {
            QVERIFY2(!w.Control(id)->isEnabled(), qPrintable(QString::number(id)));
        }
        QCOMPARE(w.Control<QLabel>(1031)->text(), QString("0, ms"));
        QCOMPARE(w.Control<QLabel>(1003)->text(), QString("Статический"));
    }

    void layoutInDialogUnits() {
        const DialogBaseUnits base = w.Dialog().baseUnits();
        QVERIFY(base.x > 0 && base.y > 0);
        // Every control sits where its template puts it, converted with the font's units.
        for (const ControlTemplate& c : PolmiraWindow().mainWindow.controls) {
            if (c.id < 0 || c.kind == ControlKind::kDropDownList) {
                continue;
            }
            const PixelRect r = MapDialogRect(c.x, c.y, c.width, c.height, base);
            QCOMPARE(w.Control(c.id)->geometry(), QRect(r.x, r.y, r.width, r.height));
        }
        QCOMPARE(w.Dialog().size(),
                 QSize(DialogUnitsToPixelsX(344, base), DialogUnitsToPixelsY(216, base)));
        // The template's font, or the face that stands in for it with the same metrics.
        const QString family = QFontInfo(w.Dialog().font()).family();
        QVERIFY2(family == "Courier New" || family == "Liberation Mono", qPrintable(family));
    }

    void accessibleNames() {
        QCOMPARE(w.Control(1001)->accessibleName(), QString("Старт"));
        QCOMPARE(w.Control(1024)->accessibleName(), QString("Записать в файл"));
        QCOMPARE(w.Control(1042)->accessibleName(), QString("Состояние"));
        QCOMPARE(w.Control(1040)->accessibleName(), QString("Время преобразователя"));
        QCOMPARE(w.Control(1023)->accessibleName(), QString("Период опроса, мс"));
        QCOMPARE(w.Control(1011)->accessibleName(), QString("Uac1"));
        QCOMPARE(w.Control(1015)->accessibleName(), QString("Значение 3"));
        // Every control of the template has a name for assistive technology.
        for (const ControlTemplate& c : PolmiraWindow().mainWindow.controls) {
            if (c.id >= 0) {
                QVERIFY2(!w.Control(c.id)->accessibleName().isEmpty(),
                         qPrintable(QString::number(c.id)));
            }
        }
    }

    // A screen reader hears every control that shows a value by its label, and its value.
    void valuesAreAnnouncedUnderTheirLabels() {
        QCOMPARE(Announced(w.Control(1003)), (QStringList{"Преобразователь", "Статический"}));
        w.Dialog().SetText(ViewText::kModelName, "TQ21-1");
        QCOMPARE(Announced(w.Control(1003)), (QStringList{"Преобразователь", "TQ21-1"}));
        QCOMPARE(Announced(w.Control(1031)), (QStringList{"Запаздывание", "0, ms"}));
        w.Dialog().SetText(ViewText::kDelayResult, "12 ms");
        QCOMPARE(Announced(w.Control(1031)), (QStringList{"Запаздывание", "12 ms"}));
        QCOMPARE(Announced(w.Control(1025)), (QStringList{"Шкала времени компьютера", "Local"}));
        QCOMPARE(Announced(w.Control(1029)), (QStringList{"Группа опроса", "Общий"}));
        w.Control<QComboBox>(1029)->setCurrentIndex(3);
        QCOMPARE(Announced(w.Control(1029)), (QStringList{"Группа опроса", "3"}));
        const QString port = w.Control<QComboBox>(1000)->currentText();
        QCOMPARE(Announced(w.Control(1000)), (QStringList{"Порт", port}));
        // The list of a drop-down stays reachable, its items readable.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.Control(1025));
        QCOMPARE(list->childCount(), 1);
        QCOMPARE(list->child(0)->object(),
                 static_cast<QObject*>(w.Control<QComboBox>(1025)->view()));
        QCOMPARE(Announced(w.Control(1011))[0], QString("Uac1"));
    }

    // A log file name longer than the dialog's buffer is refused under the error caption, and
    // the dialog opens again.
    void anOverlongLogFileNameIsRefused() {
        // The names a user gives in the save-file dialog: one too long, then none (cancelled).
        QStringList names = {QDir::tempPath() + "/" + QString(120, 'x') + ".txt", QString()};
        int dialogs = 0;
        w.Dialog().SetSaveFileDialog([&](QWidget&) {
            ++dialogs;
            return names.takeFirst();
        });
        QString caption;
        QString text;
        WhenModalOpens([&](QWidget& modal) {
            if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
                caption = box->windowTitle();
                text = box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        QCOMPARE(w.Dialog().ChooseLogFile(), std::nullopt);
        QCOMPARE(dialogs, 2);  // asked again after the message
        QCOMPARE(caption, QString("Ошибка"));
        QVERIFY2(text.startsWith("Имя файла длиннее 99 символов: "), qPrintable(text));
    }

    void enterAndEscapeDoNothing() {
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        QSignalSpy stopClicks(w.Control<QPushButton>(1016), &QPushButton::clicked);
        QSignalSpy rejected(&w.Dialog(), &QDialog::rejected);
        for (int focus : {1023, 1001, 1024}) {
            w.Control(focus)->setFocus();
            QTest::keyClick(w.Control(focus), Qt::Key_Return);
            QTest::keyClick(w.Control(focus), Qt::Key_Enter);
            QTest::keyClick(w.Control(focus), Qt::Key_Escape);
        }
        QCOMPARE(stopClicks.count(), 0);
        QCOMPARE(rejected.count(), 0);
        QVERIFY(w.Dialog().isVisible());
        // Other keys still reach the controls.
        w.Control(1023)->setFocus();
        QTest::keyClicks(w.Control(1023), "0");
        QCOMPARE(w.Text(1023), QString("5000"));
        // The close box does close it.
        w.Dialog().close();
        QVERIFY(!w.Dialog().isVisible());
    }

    void aboutBoxFromTheWindowMenu() {
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        const AboutBoxSeen seen = OpenAboutFromWindowMenu(w.Dialog(), "Polmira");
        QCOMPARE(seen.menuText, QString("&Сведения о Polmira"));
        QCOMPARE(seen.caption, QString("Polmira"));
        QCOMPARE(seen.firstLine, QString("Polmira, версия\u00a01.0"));
        QVERIFY(seen.okDefault);
    }

    void portListWithTheRememberedPortPresent() {
        OpenWithPorts({StandInDevices::Usb("ttyUSB10"), StandInDevices::Uart("ttyS0"),
                       StandInDevices::Uart("ttyS3", 0), StandInDevices::Usb("ttyUSB2")},
                      "ttyUSB2");
        // The list control sorts its items by their text.
        QCOMPARE(w.Items(1000), (QStringList{"ttyS0", "ttyUSB10", "ttyUSB2", "НЕТ"}));
        QCOMPARE(w.Control<QComboBox>(1000)->currentText(), QString("ttyUSB2"));
        QCOMPARE(w.app->channel().portName, std::string("ttyUSB2"));
        QCOMPARE(w.app->channel().portList,
                 (std::vector<std::string>{"ttyS0", "ttyUSB2", "ttyUSB10"}));
    }

    void portListWithTheRememberedPortAbsent() {
        OpenWithPorts({StandInDevices::Usb("ttyUSB0")}, "ttyUSB7");
        QCOMPARE(w.Control<QComboBox>(1000)->currentText(), QString("НЕТ"));
        QCOMPARE(w.app->channel().portName, std::string("НЕТ"));
        // The remembered name stays for when the port is back.
        QCOMPARE(w.settings.values.at(kPortSettingKey), std::string("ttyUSB7"));

        OpenWithPorts({}, std::nullopt);
        QCOMPARE(w.Items(1000), QStringList{"НЕТ"});
        QCOMPARE(w.Control<QComboBox>(1000)->currentText(), QString("НЕТ"));
        QCOMPARE(w.settings.values.at(kPortSettingKey), std::string("ttyS0"));
    }

    void aChosenPortIsFoundAgain() {
        OpenWithPorts({StandInDevices::Usb("ttyUSB0"), StandInDevices::Usb("ttyUSB1")}, "ttyUSB0");
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        auto* list = w.Control<QComboBox>(1000);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);  // a user's choice, as the keyboard makes it
        QCOMPARE(list->currentText(), QString("ttyUSB1"));
        QCOMPARE(w.settings.values.at(kPortSettingKey), std::string("ttyUSB1"));

        const auto remembered = w.settings.values;
        w.Open(PolmiraVariant(), PolmiraWindow());
        QCOMPARE(w.settings.values, remembered);
        QCOMPARE(w.Control<QComboBox>(1000)->currentText(), QString("ttyUSB1"));
    }

    void portListIsReadAgainWhenItOpens() {
        w.devices.descriptions = {{"ttyUSB0", "FT232R USB UART"}, {"ttyUSB1", "CH340"}};
        OpenWithPorts({StandInDevices::Usb("ttyUSB0")}, "ttyUSB0");
        auto* list = w.Control<QComboBox>(1000);
        const auto tooltips = [list] {
            QStringList texts;
            for (int i = 0; i < list->count(); ++i) {
                texts << list->itemData(i, Qt::ToolTipRole).toString();
            }
            return texts;
        };
        QCOMPARE(tooltips(), (QStringList{"FT232R USB UART", ""}));
        QCOMPARE(list->toolTip(), QString("FT232R USB UART"));
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        const int writes = w.settings.writes;

        // ttyUSB1 plugged in while the program runs.
        w.devices.ttys.push_back(StandInDevices::Usb("ttyUSB1"));
        list->showPopup();
        list->hidePopup();
        QCOMPARE(w.Items(1000), (QStringList{"ttyUSB0", "ttyUSB1", "НЕТ"}));
        QCOMPARE(tooltips(), (QStringList{"FT232R USB UART", "CH340", ""}));
        QCOMPARE(list->currentText(), QString("ttyUSB0"));

        // The chosen ttyUSB0 pulled out: it stays chosen, marked absent.
        w.devices.ttys = {StandInDevices::Usb("ttyUSB1")};
        list->showPopup();
        list->hidePopup();
        QCOMPARE(w.Items(1000), (QStringList{"ttyUSB0", "ttyUSB1", "НЕТ"}));
        QCOMPARE(tooltips(), (QStringList{"Порт отсутствует в системе", "CH340", ""}));
        QCOMPARE(list->currentText(), QString("ttyUSB0"));
        QCOMPARE(list->toolTip(), QString("Порт отсутствует в системе"));
        QCOMPARE(w.app->channel().portName, std::string("ttyUSB0"));
        QCOMPARE(w.settings.writes, writes);
    }

    void dataFormatSwitchCaption() {
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        auto* format = w.Control<QPushButton>(1039);
        QTest::mouseClick(format, Qt::LeftButton);
        QVERIFY(!format->isChecked());
        QCOMPARE(format->text(), QString("Код"));
        QTest::mouseClick(format, Qt::LeftButton);
        QVERIFY(format->isChecked());
        QCOMPARE(format->text(), QString("Физ. ед"));
    }

    void parameterDialogListsWhatMatchesTheValueWidth() {
        // Ua, ua and tms as a configuration names them: only the width of the values counts,
        // and the clock never.
        TransducerConfig config;
        config.parameterNames = {"Ua  ", "ua  ", "tms "};
        config.parameterAddresses = {0x100, 0x200, 0x300};
        config.valueIsFloat = false;
        const std::vector<ParameterChoice> codes = ParameterChoicesOf(config);
        config.valueIsFloat = true;
        const std::vector<ParameterChoice> floats = ParameterChoicesOf(config);
        QCOMPARE(codes.size(), size_t{1});
        QCOMPARE(codes[0].address, 0x100u);
        QCOMPARE(floats.size(), size_t{1});
        QCOMPARE(floats[0].address, 0x200u);

        CInputAddress dialog(codes, &w.Dialog());
        QCOMPARE(dialog.windowTitle(), QString("Выбор параметра для чтения"));
        auto* list = dialog.findChild<QComboBox*>("1044");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->itemText(0), QString::fromStdString(codes[0].label));
        QCOMPARE(dialog.Selection(), std::optional<size_t>(0));
        QVERIFY(dialog.findChild<QPushButton*>("1")->isEnabled());
        QCOMPARE(dialog.findChild<QPushButton*>("2")->text(), QString("Отмена"));
    }

    void parameterDialogChoiceAndCancel() {
        const std::vector<ParameterChoice> choices = {{"Ua", 0x100, "Ua  "}, {"Ub", 0x101, "Ub  "}};
        WhenModalOpens([](QWidget& dialog) {
            auto* list = dialog.findChild<QComboBox*>("1044");
            list->setCurrentIndex(1);
            QTest::mouseClick(dialog.findChild<QPushButton*>("1"), Qt::LeftButton);
        });
        QCOMPARE(CInputAddress::Choose(w.Dialog(), choices), std::optional<size_t>(1));

        WhenModalOpens([](QWidget& dialog) {
            QTest::mouseClick(dialog.findChild<QPushButton*>("2"), Qt::LeftButton);
        });
        QCOMPARE(CInputAddress::Choose(w.Dialog(), choices), std::nullopt);

        // With nothing to choose, "ОК" cannot be pressed; only "Отмена" closes it.
        CInputAddress empty({}, &w.Dialog());
        QVERIFY(!empty.findChild<QPushButton*>("1")->isEnabled());
        QCOMPARE(empty.Selection(), std::nullopt);
    }
};

QTEST_MAIN(PolmiraWindowTest)
#include "polmira_window_test.moc"
