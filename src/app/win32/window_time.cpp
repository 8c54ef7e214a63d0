// SPDX-License-Identifier: MIT
#include "app/win32/window_time.h"

uint64_t SystemWindowTime::NowMs() {
    return GetTickCount64();
}

void SystemWindowTime::ArmTimer(HWND window, uint32_t periodMs) {
    SetTimer(window, 1, periodMs, nullptr);
}

void SystemWindowTime::KillTimer(HWND window) {
    ::KillTimer(window, 1);
}

void SystemWindowTime::WaitForMessage(uint32_t milliseconds) {
    // Returns as soon as anything is in the queue, also input already seen by a peek.
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}
