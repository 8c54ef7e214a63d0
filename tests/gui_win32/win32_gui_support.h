// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/brenno_app.h"
#include "app/win32/text_convert.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"
#include "support/memory_file_system.h"
#include "support/stand_in_platform.h"

// After windows.h.
#include <commctrl.h>

// The window's timer and waits in virtual time: a wait lets the clock run to the next tick of
// timer 1 (posted as WM_TIMER) or to its end, so that a Start with its five seconds of
// change-over takes no real time.
class VirtualWindowTime : public WindowTime {
  public:
    explicit VirtualWindowTime(VirtualClock& clock) : clock_(clock) {}
    uint64_t NowMs() override { return clock_.NowUs() / 1000; }
    void ArmTimer(HWND window, uint32_t periodMs) override {
        window_ = window;
        periodUs_ = uint64_t{periodMs} * 1000;
        nextUs_ = clock_.NowUs() + periodUs_;
        armed_ = true;
    }
    void KillTimer(HWND) override { armed_ = false; }
    void WaitForMessage(uint32_t milliseconds) override {
        const uint64_t targetUs = (NowMs() + milliseconds) * 1000;
        if (armed_ && nextUs_ <= targetUs) {
            clock_.AdvanceToUs(nextUs_);
            nextUs_ += periodUs_;
            PostMessageW(window_, WM_TIMER, 1, 0);
        } else {
            clock_.AdvanceToUs(targetUs);
        }
    }

  private:
    VirtualClock& clock_;
    HWND window_ = nullptr;
    uint64_t periodUs_ = 0;
    uint64_t nextUs_ = 0;
    bool armed_ = false;
};

// A program's window on stand-ins: a virtual port, files in memory, made-up devices and
// remembered settings, virtual time.
struct WindowUnderTest {
    VirtualClock clock;
    VirtualLine line{clock, "/dev/ttyUSB0"};  // the path the port list opens for ttyUSB0
    VirtualSerialDevice device{line};
    MemoryFileSystem files;
    MemorySettingsStore settings;
    StandInDevices devices;
    VirtualWindowTime time{clock};
    std::unique_ptr<CBrennoApp> app;

    void Open(const ProgramVariant& variant, const WindowDescription& window) {
        app.reset();
        app = std::make_unique<CBrennoApp>(
            variant, window, AppPlatform{device, clock, files, settings, devices, &time});
    }
    CBrennoDlg& Dialog() { return app->dialog(); }
    HWND Control(int id) { return Dialog().Control(id); }
    std::string Text(int id) { return WideToUtf8(WindowText(Control(id))); }
    std::vector<std::string> Items(int id) {
        std::vector<std::string> items;
        for (const std::wstring& item : ListItems(Control(id))) {
            items.push_back(WideToUtf8(item));
        }
        return items;
    }
    std::string Selected(int id) { return WideToUtf8(SelectedItem(Control(id))); }
    bool Checked(int id) { return IsDlgButtonChecked(Dialog().hwnd(), id) == BST_CHECKED; }
    // A click as the mouse makes it; the commands it starts run before it returns.
    void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
    // A user's choice in a drop-down list: the selection and the list's notification.
    void Choose(int id, int index) {
        SendMessageW(Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(Dialog().hwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Control(id)));
    }
};

// Runs the action on the next dialog with this caption (other than the one excepted) once it
// is shown: from a thread timer, inside the dialog's own modal loop.
void WhenDialogOpens(const std::wstring& caption, HWND except, std::function<void(HWND)> action);
// Forgets a dialog still awaited.
void StopWaitingForDialog();

// The texts of a dialog's static controls, in their order.
std::vector<std::string> StaticTexts(HWND dialog);

// Every control of the dialog where the template puts it, with its kind's window class and
// its caption: the dialog's children in creation order against the template's controls.
// checkCaptions: also the captions (a main window's change at its initialisation).
void ExpectLaidOutAsTemplate(HWND dialog, const DialogTemplate& layout, bool checkCaptions);
