// SPDX-License-Identifier: MIT
#pragma once

// Ctrl-C, Ctrl-Break and the console window's close ask a long-running tool to end: after
// InstallConsoleStop they set a flag instead of ending the process, so that it can clean up.
void InstallConsoleStop();
// True once one of them has arrived.
bool ConsoleStopRequested();
