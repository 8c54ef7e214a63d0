// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/transducer_config.h"

// The split of the parameter list into poll requests: each group is one read of consecutive
// registers (or information objects), its names in the order their values follow each other.

struct PollGroup {
    uint32_t startAddress = 0;
    uint8_t registerCount = 0;  // 1 per code or clock value, 2 per 32-bit value
    std::vector<std::string> names;

    friend bool operator==(const PollGroup&, const PollGroup&) = default;
};

inline constexpr size_t kPollGroupCapacity = 16;

struct PollPlan {
    std::array<PollGroup, kPollGroupCapacity> pollGroups{};
    uint8_t groupCount = 0;
    uint8_t currentGroup = 0;
    bool clockInFloatGroup = false;  // the clock registers sit in a group of 32-bit values
    bool clockInCodeGroup = false;   // ... in a group of codes
    bool groupLimitReached = false;  // parameters were left out because the table was full
};

// Which of two groups is kept when the list forms exactly two.
enum class TwoBlockChoice {
    // Only the group with the clock: entry 0 when the clock is in the code group, the former
    // entry 1 when it is in the float group.
    KeepClockBlock,
    // Only entry 0 when the clock is in a code group, unless entry 1 is the clock block alone
    // (four registers), which is then polled as well.
    KeepFirstUnlessClockBlockAlone,
};

// The rules in which the programs differ.
struct PollGroupRules {
    // In mode 1 a chosen parameter ("Чтение (102)") is polled alone.
    bool readsChosenParameter = true;
    // Outside mode 1 a 32-bit value ends the group being built, which is then dropped.
    bool floatValueEndsGroup = false;
    TwoBlockChoice twoBlockChoice = TwoBlockChoice::KeepClockBlock;
};

struct ChosenParameter {
    uint32_t address = 0;
    std::string name;
};

struct PollGroupInput {
    std::vector<std::string> parameterNames;
    std::vector<uint32_t> parameterAddresses;  // one per name
    ExchangeMode exchangeMode = ExchangeMode::kModbusAscii;
    bool valueIsFloat = false;
    // Set when the poll kind "Чтение (102)" is chosen.
    std::optional<ChosenParameter> chosenParameter;
};

PollGroupInput PollGroupInputFrom(const TransducerConfig& config);

// Builds the groups from the first 32 parameters at most (the configuration's limit). A list that
// would need more than kPollGroupCapacity groups stops at that many (groupLimitReached);
// currentGroup is 0 at the end.
PollPlan BuildPollGroups(const PollGroupInput& input, const PollGroupRules& rules);

// Deletes entry g and moves the entries above it, up to groupCount, down by one; groupCount
// stays as it is.
void RemovePollGroup(PollPlan& plan, size_t g);
