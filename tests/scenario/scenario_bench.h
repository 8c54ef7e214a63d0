// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "channel/serial_channel.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"
#include "polling/polling_controller.h"
#include "polling/program_variant.h"
#include "sim/simulated_transducer.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"

// A program's controller wired to a simulated transducer over a virtual line, all in virtual
// time: a whole Start runs in milliseconds.
struct ScenarioBench {
    explicit ScenarioBench(const ProgramVariant& variant, const SimProfile& profile,
                           int64_t unixMsAtStart = 1'710'331'200'000)
        : clock(1'000'000, unixMsAtStart, 180),
          line(clock, "ttyV0"),
          port(line),
          channel(port, clock),
          view(clock),
          device(profile, clock),
          peer(device, line),
          controller(variant, view, channel, clock, files) {
        channel.portName = "ttyV0";
        view.onTimer = [this] { controller.OnTimer(1); };
        controller.OnInitDialog();
    }

    // Presses "Старт" and lets the Start run to its end.
    void Start() { controller.OnStart(); }
    // Lets the poll timer run for the given number of periods (a little more, so that the
    // last tick has happened).
    void RunTicks(int ticks) { view.RunFor(controller.pollPeriod() * ticks + 10); }

    VirtualClock clock;
    VirtualLine line;
    VirtualSerialDevice port;
    SerialChannel channel;
    VirtualTimeView view;
    MemoryFileSystem files;
    SimulatedTransducer device;
    SimulatedTransducerPeer peer;
    PollingController controller;
};

// A built-in profile whose values stand still, so that texts and log rows are exact.
inline SimProfile SteadyProfile(const std::string& key) {
    SimProfile profile = *FindProfile(key);
    for (SimParameter& p : profile.parameters) {
        p.amplitude = 0;
    }
    return profile;
}

// TQ51's 32-bit voltages served as an IEC 60870-5-101 station, its values standing still.
inline SimProfile SteadyIecProfile() {
    SimProfile profile = SteadyProfile("TQ51");
    profile.config.ExchangeMode = ExchangeMode::kIec101;
    RebuildProfileConfig(profile);
    return profile;
}
