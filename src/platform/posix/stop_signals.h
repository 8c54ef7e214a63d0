// SPDX-License-Identifier: MIT
#pragma once

// Ctrl-C (SIGINT), SIGTERM and SIGHUP ask a long-running tool to end: after InstallStopSignals
// they set a flag and interrupt the wait in progress instead of ending the process, so that it
// can clean up. SIGPIPE is ignored.
void InstallStopSignals();
// True once one of those signals has arrived.
bool StopRequested();
// The number of the signal that asked for the stop; 0 before.
int StopSignalNumber();
