// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/line_settings.h"
#include "sim/fault_plan.h"
#include "sim/transducer_profiles.h"

// The command line of the simulator program.
struct SimOptions {
    std::string model = "TQ21";        // --model KEY
    std::optional<uint8_t> mode;       // --mode: the exchange mode instead of the profile's
    std::optional<uint8_t> linkByte;   // --link-byte: its own line settings
    std::optional<uint16_t> address;   // --address: its slave / link address
    std::string name;                  // --name: the published port name ("sim-" + model)
    std::string device;                // --device: a real serial port instead of a new pty
    bool list = false;                 // --list
    bool trace = false;                // --trace
    bool steady = false;               // --steady: the values do not move
    std::vector<PlannedFault> faults;  // --fault, once per fault
    uint64_t faultRandomKey = 1;       // --fault-random: the draws of the faults with a chance
    uint32_t lineDelayMs = 0;          // --line-delay: every answer leaves this much later
    bool help = false;                 // --help
    bool version = false;              // --version
};

struct SimOptionsResult {
    std::optional<SimOptions> options;  // set when the command line was understood
    std::string error;                  // why not
};

// Reads the arguments (without the program name). "--opt value" and "--opt=value" both work.
SimOptionsResult ParseSimOptions(const std::vector<std::string>& arguments);

// The profile the options make of the built-in one: another exchange mode, link-settings byte
// or address, values standing still. Nothing, with error set, for an unknown model or an
// address the exchange mode cannot carry.
std::optional<SimProfile> ProfileForOptions(const SimOptions& options, std::string& error);

// The name under which the pseudo-terminal is published.
std::string PublishedNameOf(const SimOptions& options);

// The help text, and the profiles one a line (--list).
std::string SimUsage();
std::string ProfileListing();

// "19200,E,8,1"; with framingKnown false (a pty) parity and data bits as "?": "19200,?,?,1".
std::string DescribeLine(const LineSettings& settings, bool framingKnown = true);
