// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/transducer_config.h"

// One measured quantity of a simulated transducer: how it appears in the configuration record
// and how its physical value moves (a slow sine around base, so a user sees it change).
struct SimParameter {
    std::string name;  // four characters; capitals: 16-bit code, small letters: 32-bit float
    uint32_t address = 0;
    uint32_t nominal = 0;
    uint8_t divisorCode = 0;
    uint8_t group = 20;  // interrogation group as cause of transmission: 20 station, 21-36
    double base = 0;     // physical value
    double amplitude = 0;
    double periodSeconds = 60;
};

// A simulated transducer model: its configuration record and its quantities. The record's
// parameter list is made from `parameters` (and the four clock registers when it keeps a clock).
struct SimProfile {
    std::string key;          // the catalogue key it is identified by ("TQ20")
    std::string description;  // one line for --list
    TransducerConfig config;
    std::vector<SimParameter> parameters;
    uint32_t clockAddress = 0;  // first clock register ("tms"), when config.timeSupport != 0
};

// The built-in profiles, one per catalogue key.
const std::vector<SimProfile>& BuiltInProfiles();
// The profile of a key, or null.
const SimProfile* FindProfile(const std::string& key);

// Rebuilds the record fields of config from the parameters (names, addresses, nominals,
// groups, the clock registers), after a profile was edited (another mode, link settings).
void RebuildProfileConfig(SimProfile& profile);

// Names of the clock registers the profiles use.
inline const char* const kSimClockNames[4] = {"tms1", "thm1", "tmd1", "ty11"};
