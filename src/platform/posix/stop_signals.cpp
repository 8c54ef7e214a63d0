// SPDX-License-Identifier: MIT
#include "platform/posix/stop_signals.h"

#include <signal.h>

#include <initializer_list>

namespace {

volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int number) {
    stopSignal = number;
}

}  // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a wait in progress returns at once
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(number, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool StopRequested() {
    return stopSignal != 0;
}

int StopSignalNumber() {
    return stopSignal;
}
