#pragma once

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/brenno_app.h"
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
