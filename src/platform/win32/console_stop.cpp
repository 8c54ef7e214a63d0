// SPDX-License-Identifier: MIT
#include "platform/win32/console_stop.h"

#include <atomic>

#include "platform/win32/windows_api.h"

namespace {

std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            stopRequested = true;
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void InstallConsoleStop() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool ConsoleStopRequested() {
    return stopRequested;
}
