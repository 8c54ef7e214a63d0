// SPDX-License-Identifier: MIT
#pragma once

#include "app/win32/windows_api.h"

#include <cstdint>

// The time of the window's message loop: the poll timer (timer 1) and the waits between
// messages. The system's own (SetTimer, MsgWaitForMultipleObjectsEx) in the programs; tests
// give one in virtual time, so that a whole Start runs in milliseconds.
class WindowTime {
  public:
    virtual ~WindowTime() = default;
    // Milliseconds on a steady count.
    virtual uint64_t NowMs() = 0;
    // Timer 1 of the window: WM_TIMER with id 1 every period, until killed.
    virtual void ArmTimer(HWND window, uint32_t periodMs) = 0;
    virtual void KillTimer(HWND window) = 0;
    // Sleeps until a message arrives or the time has passed.
    virtual void WaitForMessage(uint32_t milliseconds) = 0;
};

// The system's timer and waits.
class SystemWindowTime : public WindowTime {
  public:
    uint64_t NowMs() override;
    void ArmTimer(HWND window, uint32_t periodMs) override;
    void KillTimer(HWND window) override;
    void WaitForMessage(uint32_t milliseconds) override;
};
