// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QObject>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/qt/brenno_app.h"
#include "channel/port_list.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"
#include "sim/simulated_transducer.h"
#include "support/memory_file_system.h"
#include "support/stand_in_platform.h"

// Timer 1 and the window's waits in virtual time: a wait lets the clock run to its end, handing
// timer 1's ticks to the window as they come due and dispatching the window's events after
// each step, so that a Start with its five seconds of change-over takes no real time.
class VirtualWindowTime : public WindowTime {
  public:
    explicit VirtualWindowTime(VirtualClock& clock) : clock_(clock) {}

    // Called after every step of a wait, before the events are dispatched (a test hooks the
    // line monitor's refresh here, as its own timer would fire during the waits).
    std::function<void()> onStep;

    void ArmTimer(uint32_t periodMs, std::function<void()> tick) override {
        tick_ = std::move(tick);
        periodUs_ = uint64_t{periodMs} * 1000;
        nextUs_ = clock_.NowUs() + periodUs_;
        armed_ = true;
    }
    void KillTimer() override { armed_ = false; }
    void Wait(uint32_t milliseconds) override {
        const uint64_t targetUs = clock_.NowUs() + uint64_t{milliseconds} * 1000;
        for (;;) {
            const bool tickDue = armed_ && nextUs_ <= targetUs;
            if (tickDue) {
                clock_.AdvanceToUs(nextUs_);
                nextUs_ = std::max(nextUs_ + periodUs_, clock_.NowUs());
                tick_();
            } else {
                clock_.AdvanceToUs(targetUs);
            }
            if (onStep) {
                onStep();
            }
            QCoreApplication::processEvents();
            if (!tickDue && clock_.NowUs() >= targetUs) {
                return;
            }
        }
    }

  private:
    VirtualClock& clock_;
    std::function<void()> tick_;
    uint64_t periodUs_ = 0;
    uint64_t nextUs_ = 0;
    bool armed_ = false;
};

// A program's window on a virtual line to the simulated transducer, in virtual time: "Старт"
// wakes it, reads its configuration and polls it, all in milliseconds of real time.
struct SimulatedWindow {
    VirtualClock clock;
    VirtualLine line{clock, "/dev/ttyUSB0"};  // the path the port list opens for ttyUSB0
    VirtualSerialDevice device{line};
    MemoryFileSystem files;
    MemorySettingsStore settings;
    StandInDevices devices;
    VirtualWindowTime time{clock};
    SimulatedTransducer transducer;
    SimulatedTransducerPeer peer{transducer, line};
    std::unique_ptr<CBrennoApp> app;
    // What the main window showed, in order: the status line's and the value fields' changes.
    QStringList shown;

    SimulatedWindow(const ProgramVariant& variant, const WindowDescription& window,
                    const SimProfile& profile)
        : transducer(profile, clock) {
        devices.ttys = {StandInDevices::Usb("ttyUSB0")};
        settings.values[kPortSettingKey] = "ttyUSB0";
        app = std::make_unique<CBrennoApp>(variant, window,
                                           AppPlatform{device, clock, files, settings, devices});
        Dialog().SetWindowTime(&time);
        const WindowRoles& roles = window.roles;
        Watch(roles.IdOf(ViewText::kStatusLine), "status");
        for (size_t slot = 0; slot < kSlotCount; ++slot) {
            Watch(kSlotControls[slot].valueId, QString("value %1").arg(slot));
        }
    }
    ~SimulatedWindow() {
        // The window first: it may still stop a Start on the line.
        app.reset();
    }

    CBrennoDlg& Dialog() { return app->dialog(); }
    TrafficRecorder& Traffic() { return app->channel().Traffic(); }
    // "Старт", as a click runs it: the whole Start, up to the first poll request.
    void Start() {
        qobject_cast<QAbstractButton*>(Dialog().Control(Dialog().window().roles.startButton))
            ->click();
    }
    // Lets virtual time run, the poll timer ticking.
    void RunFor(uint32_t milliseconds) { time.Wait(milliseconds); }

  private:
    void Watch(std::optional<int> id, const QString& name) {
        if (auto* edit = qobject_cast<QLineEdit*>(id ? Dialog().Control(*id) : nullptr)) {
            QObject::connect(edit, &QLineEdit::textChanged,
                             [this, name](const QString& text) { shown << name + ": " + text; });
        }
    }
};
