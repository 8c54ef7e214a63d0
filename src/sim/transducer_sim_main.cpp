// SPDX-License-Identifier: MIT
// transducer-sim: one simulated transducer on a new pseudo-terminal, published for the
// programs' port lists, or on a real serial port. On Windows there are no pseudo-terminals:
// it serves a COM port.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "brenno_version.h"
#include "sim/line_server.h"
#include "sim/sim_options.h"
#include "sim/simulated_transducer.h"

// The system's pieces: its clock, the stop request, its serial ports, and (POSIX only) the
// published pseudo-terminal.
#if defined(_WIN32)
#include "platform/win32/console_stop.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_com_far_end.h"
#else
#include "platform/posix/pty_far_end.h"
#include "platform/posix/published_port.h"
#include "platform/posix/stop_signals.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/tty_far_end.h"
#endif

namespace {

// Frame assembly: a pty delivers a program's write at once, but a burst may still come in two
// reads; a USB serial adapter hands on what it received in packets some milliseconds apart.
constexpr uint64_t kPtyFrameGapUs = 4'000;
constexpr uint64_t kDeviceFrameGapUs = 20'000;

#if defined(_WIN32)
using RealClock = Win32Clock;
constexpr bool kHasPseudoTerminals = false;

void InstallStop() {
    InstallConsoleStop();
}
bool Stopped() {
    return ConsoleStopRequested();
}

// Opens the COM port; null with the reason when it cannot.
std::unique_ptr<FarEndPort> OpenDevicePort(const std::string& name, std::string& error) {
    auto port = std::make_unique<Win32ComFarEnd>();
    if (const unsigned long code = port->Open(name); code != 0) {
        error = Win32ErrorText(code);
        return nullptr;
    }
    return port;
}
#else
using RealClock = SystemClock;
constexpr bool kHasPseudoTerminals = true;

void InstallStop() {
    InstallStopSignals();
}
bool Stopped() {
    return StopRequested();
}

std::unique_ptr<FarEndPort> OpenDevicePort(const std::string& name, std::string& error) {
    auto port = std::make_unique<TtyFarEnd>();
    if (const int code = port->Open(name); code != 0) {
        error = std::strerror(code);
        return nullptr;
    }
    return port;
}
#endif

void PrintTrace(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

int Serve(SimulatedTransducer& device, FarEndPort& port, bool trace, bool echoSuppression) {
    LineServer server(device, port);
    server.SetEchoSuppression(echoSuppression);
    if (trace) {
        server.SetTrace(PrintTrace);
    }
    server.Run([&port] { return !Stopped() && !port.Broken(); });
    if (port.Broken()) {
        std::fprintf(stderr, "transducer-sim: the port is gone\n");
        return 1;
    }
    return 0;
}

// Serves on a real port, whose own UART judges the framing.
int ServeDevice(SimulatedTransducer& device, const SimOptions& options, const std::string& what) {
    std::string error;
    const std::unique_ptr<FarEndPort> port = OpenDevicePort(options.device, error);
    if (!port) {
        std::fprintf(stderr, "transducer-sim: cannot open %s: %s\n", options.device.c_str(),
                     error.c_str());
        return 1;
    }
    device.SetJudgeFraming(true);
    device.SetMinimumFrameGapUs(kDeviceFrameGapUs);
    std::printf("%s\n", options.device.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "transducer-sim: %s on %s; Ctrl-C ends\n", what.c_str(),
                 options.device.c_str());
    return Serve(device, *port, options.trace, true);
}

#if defined(_WIN32)
int ServePseudoTerminal(SimulatedTransducer&, const SimOptions&, const std::string&) {
    std::fprintf(stderr, "transducer-sim: --device is required on this system (--help)\n");
    return 2;
}
#else
// Serves on a new pseudo-terminal, published under the options' name.
int ServePseudoTerminal(SimulatedTransducer& device, const SimOptions& options,
                        const std::string& what) {
    PtyFarEnd port;
    if (!port.Create()) {
        std::fprintf(stderr, "transducer-sim: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    std::string error;
    PortPublication published;
    if (!published.Publish(PublishedNameOf(options), port.SlavePath(), error)) {
        std::fprintf(stderr, "transducer-sim: %s\n", error.c_str());
        return 1;
    }
    // A pty shows every line as 8 data bits without parity: only the rate can be judged.
    device.SetJudgeFraming(false);
    device.SetMinimumFrameGapUs(kPtyFrameGapUs);
    std::printf("%s\n", published.Path().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "transducer-sim: %s on %s (%s); Ctrl-C ends\n", what.c_str(),
                 published.Path().c_str(), port.SlavePath().c_str());
    const int result = Serve(device, port, options.trace, false);
    published.Withdraw();
    return result;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const SimOptionsResult parsed = ParseSimOptions(arguments);
    if (!parsed.options) {
        std::fprintf(stderr, "transducer-sim: %s\n", parsed.error.c_str());
        return 2;
    }
    const SimOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(SimUsage().c_str(), stdout);
        if (!kHasPseudoTerminals) {
            std::fputs(
                "\nThis system has no pseudo-terminals: --device is required, for example\n"
                "--device COM5 (COM10 and above as well).\n",
                stdout);
        }
        return 0;
    }
    if (options.version) {
        std::printf("transducer-sim %.*s\n", static_cast<int>(kBrennoVersion.size()),
                    kBrennoVersion.data());
        return 0;
    }
    if (options.list) {
        std::fputs(ProfileListing().c_str(), stdout);
        return 0;
    }
    std::string error;
    const auto profile = ProfileForOptions(options, error);
    if (!profile) {
        std::fprintf(stderr, "transducer-sim: %s\n", error.c_str());
        return 2;
    }

    InstallStop();
    RealClock clock;
    SimulatedTransducer device(*profile, clock);
    device.SetAnswerDelayUs(uint64_t{options.lineDelayMs} * 1000);
    device.Plan().SetRandomKey(options.faultRandomKey);
    for (const PlannedFault& fault : options.faults) {
        device.Plan().Add(fault);
    }
    if (options.trace) {
        device.SetFaultObserver([](uint32_t request, const PlannedFault& fault) {
            std::fprintf(stderr, "fault %.*s on request %u\n",
                         static_cast<int>(FaultName(fault.kind).size()),
                         FaultName(fault.kind).data(), request);
        });
    }
    const TransducerConfig& c = profile->config;
    const std::string what = profile->key + " (" + std::string(ExchangeModeName(c.ExchangeMode)) +
                             ", " + DescribeLine(device.CurrentSettings()) + ", address " +
                             std::to_string(c.linkAddress) + ")";

    if (!options.device.empty()) {
        return ServeDevice(device, options, what);
    }
    return ServePseudoTerminal(device, options, what);
}
