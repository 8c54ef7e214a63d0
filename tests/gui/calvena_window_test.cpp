// SPDX-License-Identifier: MIT
// The metrology tool's main window, offscreen: its initial state, layout, keyboard filter,
// about box and port list.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/calvena_window.h"
#include "channel/port_list.h"
#include "gui/gui_support.h"
#include "polling/calvena_variant.h"

class CalvenaWindowTest : public QObject {
    Q_OBJECT

  private:
    WindowUnderTest w;

  private slots:
    void init() {
        w.devices.ttys = {StandInDevices::Usb("ttyACM0"), StandInDevices::Usb("ttyUSB1")};
        w.settings.values = {{kPortSettingKey, "ttyACM0"}};
        w.Open(CalvenaVariant(), CalvenaWindow());
    }

    void initialState() {
        QCOMPARE(w.Dialog().windowTitle(), QString("Calvena"));
        QCOMPARE(w.Text(1031), QString("Ожидание"));
        QCOMPARE(w.Text(1029), QString("00 : 00 : 0.00"));
        QCOMPARE(w.Text(1030), QString("00 : 00 : 0.00"));
        for (const SlotControls& slot : kSlotControls) {
            QCOMPARE(w.Text(slot.valueId), QString("-----"));
        }
        QCOMPARE(w.Text(1023), QString("500"));
        QCOMPARE(w.Items(1025), (QStringList{"GMT", "Local"}));
        QCOMPARE(w.Control<QComboBox>(1025)->currentText(), QString("Local"));
        QVERIFY(!w.Control<QAbstractButton>(1024)->isChecked());
        QCOMPARE(w.Control<QLabel>(1004)->text(), QString("Ua"));
        QCOMPARE(w.Control<QLabel>(1008)->text(), QString("Uc"));
        QCOMPARE(w.Control<QLabel>(1014)->text(), QString("F"));
        QCOMPARE(w.Control<QLabel>(1021)->text(), QString("Uca"));
        // Two slots are never shown; the clock buttons wait for a transducer with a clock.
        for (int id : {1010, 1011, 1012, 1013}) {
            QVERIFY(w.Control(id)->isHidden());
        }
        QVERIFY(!w.Control(1027)->isEnabled());
        QVERIFY(!w.Control(1041)->isEnabled());
        QCOMPARE(w.Control<QPushButton>(1041)->text(), QString("Проверка RTC"));
        QVERIFY(w.Control(1001)->isEnabled());
        // Nothing of the viewer's window is here.
        for (int id : {1032, 1033, 1034, 1039, 1040, 1042, 1043}) {
            QVERIFY2(w.Control(id) == nullptr, qPrintable(QString::number(id)));
        }
    }

    void layoutInDialogUnits() {
        const DialogBaseUnits base = w.Dialog().baseUnits();
        for (const ControlTemplate& c : CalvenaWindow().mainWindow.controls) {
            if (c.id < 0 || c.kind == ControlKind::kDropDownList) {
                continue;
            }
            const PixelRect r = MapDialogRect(c.x, c.y, c.width, c.height, base);
            QCOMPARE(w.Control(c.id)->geometry(), QRect(r.x, r.y, r.width, r.height));
        }
        QCOMPARE(w.Dialog().size(),
                 QSize(DialogUnitsToPixelsX(250, base), DialogUnitsToPixelsY(197, base)));
    }

    void valuesAreAnnouncedUnderTheirLabels() {
        w.Dialog().SetText(ViewText::kModelName, "TQ41-2");
        QCOMPARE(Announced(w.Control(1003)), (QStringList{"Преобразователь", "TQ41-2"}));
        QCOMPARE(Announced(w.Control(1000)), (QStringList{"Порт", "ttyACM0"}));
        QCOMPARE(Announced(w.Control(1025)), (QStringList{"Шкала времени компьютера", "Local"}));
        QCOMPARE(Announced(w.Control(1031)), (QStringList{"Состояние", "Ожидание"}));
    }

    void enterAndEscapeDoNothing() {
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        QSignalSpy startClicks(w.Control<QPushButton>(1001), &QPushButton::clicked);
        QSignalSpy rejected(&w.Dialog(), &QDialog::rejected);
        for (int focus : {1001, 1023, 1025}) {
            w.Control(focus)->setFocus();
            QTest::keyClick(w.Control(focus), Qt::Key_Return);
            QTest::keyClick(w.Control(focus), Qt::Key_Escape);
        }
        QCOMPARE(startClicks.count(), 0);
        QCOMPARE(rejected.count(), 0);
        QVERIFY(w.Dialog().isVisible());
    }

    void aboutBoxFromTheWindowMenu() {
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        const AboutBoxSeen seen = OpenAboutFromWindowMenu(w.Dialog(), "Calvena");
        QCOMPARE(seen.menuText, QString("&Сведения о Calvena"));
        QCOMPARE(seen.caption, QString("Calvena"));
        QCOMPARE(seen.firstLine, QString("Calvena, версия\u00a01.0"));
    }

    void portListAndAChoiceSaved() {
        QCOMPARE(w.Items(1000), (QStringList{"ttyACM0", "ttyUSB1", "НЕТ"}));
        QCOMPARE(w.Control<QComboBox>(1000)->currentText(), QString("ttyACM0"));
        w.Dialog().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.Dialog()));
        auto* list = w.Control<QComboBox>(1000);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_End);  // "НЕТ" is saved like any other name
        QCOMPARE(w.settings.values.at(kPortSettingKey), std::string("НЕТ"));
        w.Open(CalvenaVariant(), CalvenaWindow());
        QCOMPARE(w.Control<QComboBox>(1000)->currentText(), QString("НЕТ"));
    }
};

QTEST_MAIN(CalvenaWindowTest)
#include "calvena_window_test.moc"
