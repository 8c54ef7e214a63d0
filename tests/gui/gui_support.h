// SPDX-License-Identifier: MIT
#pragma once

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/qt/brenno_app.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"
#include "support/memory_file_system.h"
#include "support/stand_in_platform.h"

// A program's window on stand-ins: a virtual port, files in memory, made-up devices and
// remembered settings, so that the window's own behaviour can be checked offscreen.
struct WindowUnderTest {
    VirtualClock clock;
    VirtualLine line{clock, "ttyUSB0"};
    VirtualSerialDevice device{line};
    MemoryFileSystem files;
    MemorySettingsStore settings;
    StandInDevices devices;
    std::unique_ptr<CBrennoApp> app;

    void Open(const ProgramVariant& variant, const WindowDescription& window) {
        app.reset();
        app = std::make_unique<CBrennoApp>(variant, window,
                                           AppPlatform{device, clock, files, settings, devices});
    }
    CBrennoDlg& Dialog() { return app->dialog(); }

    template <typename Widget = QWidget>
    Widget* Control(int id) {
        return qobject_cast<Widget*>(Dialog().Control(id));
    }
    QString Text(int id) {
        auto* edit = Control<QLineEdit>(id);
        return edit != nullptr ? edit->text() : QString("<no edit %1>").arg(id);
    }
    QStringList Items(int id) {
        QStringList items;
        if (auto* list = Control<QComboBox>(id)) {
            for (int i = 0; i < list->count(); ++i) {
                items << list->itemText(i);
            }
        }
        return items;
    }
};

// What an accessibility client reads of a control: its name, then its value.
inline QStringList Announced(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    if (accessible == nullptr) {
        return {"<not accessible>"};
    }
    return {accessible->text(QAccessible::Name), accessible->text(QAccessible::Value)};
}

// Runs the action on the next modal window that opens (a message box, the about box, a
// dialog) once it is shown, from inside its own event loop.
inline void WhenModalOpens(std::function<void(QWidget&)> action) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        action(*modal);
    });
    poll->start();
}

// What the about box showed when opened from the window's menu, as a user does it: the menu
// item's text, the box's caption and first line (the one starting with the program's name),
// whether "ОК" is its default button. The box is closed with "ОК".
struct AboutBoxSeen {
    QString menuText;
    QString caption;
    QString firstLine;
    bool okDefault = false;
};

inline AboutBoxSeen OpenAboutFromWindowMenu(QWidget& window, const QString& programName) {
    AboutBoxSeen seen;
    WhenModalOpens([&](QWidget& about) {
        seen.caption = about.windowTitle();
        for (QLabel* label : about.findChildren<QLabel*>()) {
            if (label->text().startsWith(programName))
                seen.firstLine = label->text();
        }
        auto* ok = about.findChild<QPushButton*>("1");
        seen.okDefault = ok != nullptr && ok->isDefault() && ok->text() == "ОК";
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    QTimer::singleShot(50, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr)
            return;
        QAction* item = menu->findChild<QAction*>("aboutItem");
        seen.menuText = item->text();
        menu->setActiveAction(item);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            window.mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(&window, &event);
    return seen;
}
