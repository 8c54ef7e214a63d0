// SPDX-License-Identifier: MIT
#include "catalogue/poll_groups.h"

#include <algorithm>

#include "catalogue/parameter_naming.h"

namespace {

void ClearGroup(PollGroup& group) {
    group.startAddress = 0;
    group.registerCount = 0;
    group.names.clear();
}

// Sets the clock flags after a clock name was taken into a group (not in mode 1).
void ApplyClockRule(PollPlan& plan, const std::string& name, bool holdsFloat) {
    if (!IsClockName(name)) {
        return;
    }
    plan.clockInFloatGroup = holdsFloat;
    plan.clockInCodeGroup = !holdsFloat;
}

void ChooseBetweenTwoBlocks(PollPlan& plan, TwoBlockChoice choice) {
    if (plan.groupCount != 2) {
        plan.clockInFloatGroup = false;
        plan.clockInCodeGroup = false;
        return;
    }
    switch (choice) {
        case TwoBlockChoice::KeepClockBlock:
            if (plan.clockInCodeGroup) {
                plan.groupCount = 1;
            } else if (plan.clockInFloatGroup) {
                RemovePollGroup(plan, 0);
                plan.groupCount = 1;
            }
            break;
        case TwoBlockChoice::KeepFirstUnlessClockBlockAlone:
            if (plan.clockInCodeGroup && plan.pollGroups[1].registerCount != 4) {
                plan.groupCount = 1;
            }
            break;
    }
}

// Mode 1: keeps the groups of the configured value type and drops the clock registers.
void FilterForIec(PollPlan& plan, bool valueIsFloat) {
    const uint16_t wanted = valueIsFloat ? 4 : 2;
    size_t g = 0;
    while (g < plan.groupCount) {
        const auto& names = plan.pollGroups[g].names;
        const uint16_t size = ValueSizeOfName(names.empty() ? std::string() : names.front());
        if (size != wanted) {
            RemovePollGroup(plan, g);
            --plan.groupCount;
        } else {
            ++g;
        }
    }
    for (size_t k = 0; k < plan.groupCount; ++k) {
        PollGroup& group = plan.pollGroups[k];
        const auto clockNames = std::count_if(group.names.begin(), group.names.end(),
                                              [](const std::string& n) { return IsClockName(n); });
        std::erase_if(group.names, [](const std::string& n) { return IsClockName(n); });
        group.registerCount = static_cast<uint8_t>(
            group.registerCount > clockNames ? group.registerCount - clockNames : 0);
    }
}

}  // namespace

PollGroupInput PollGroupInputFrom(const TransducerConfig& config) {
    PollGroupInput input;
    input.parameterNames = config.parameterNames;
    input.parameterAddresses = config.parameterAddresses;
    input.exchangeMode = config.ExchangeMode;
    input.valueIsFloat = config.valueIsFloat;
    return input;
}

PollPlan BuildPollGroups(const PollGroupInput& input, const PollGroupRules& rules) {
    PollPlan plan;
    if (rules.readsChosenParameter && input.exchangeMode == ExchangeMode::kIec101 &&
        input.chosenParameter) {
        plan.groupCount = 1;
        plan.pollGroups[0].startAddress = input.chosenParameter->address;
        plan.pollGroups[0].registerCount = 1;
        plan.pollGroups[0].names = {input.chosenParameter->name};
        return plan;
    }

    const auto& names = input.parameterNames;
    const auto& addresses = input.parameterAddresses;
    // The configuration holds at most 32 parameters, which keeps a group's count below 65.
    const size_t n = std::min({names.size(), addresses.size(), TransducerConfig::kMaxParameters});
    const bool clockRule = input.exchangeMode != ExchangeMode::kIec101;
    const bool floatEnds = rules.floatValueEndsGroup && input.exchangeMode != ExchangeMode::kIec101;
    std::vector<bool> placed(n, false);
    uint32_t start = 0;

    for (size_t pass = 0; pass < n; ++pass) {
        const size_t first =
            static_cast<size_t>(std::find(placed.begin(), placed.end(), false) - placed.begin());
        if (plan.currentGroup >= kPollGroupCapacity) {
            // Another group would be needed only for a parameter not yet placed.
            plan.groupLimitReached = first < n;
            break;
        }
        if (first < n) {
            start = addresses[first];
        }
        PollGroup& group = plan.pollGroups[plan.currentGroup];
        group.names.clear();
        uint8_t count = 0;
        bool holdsFloat = false;
        bool abandoned = false;

        // Takes parameter j into the group; false when that ends the pass.
        auto take = [&](size_t j, bool below) {
            const uint16_t size = ValueSize(names, j);
            group.startAddress = start;
            if (below) {
                group.names.insert(group.names.begin(), names[j]);
            } else {
                group.names.push_back(names[j]);
            }
            count = static_cast<uint8_t>(count + size / 2);
            placed[j] = true;
            if (size == 4) {
                holdsFloat = true;
                if (floatEnds) {
                    return false;
                }
            }
            if (clockRule) {
                ApplyClockRule(plan, names[j], holdsFloat);
            }
            return true;
        };

        for (size_t j = first; j < n && !abandoned; ++j) {
            if (addresses[j] == static_cast<uint32_t>(start + count)) {
                abandoned = !take(j, false);
            }
            if (!abandoned &&
                static_cast<uint32_t>(start - ValueSize(names, j) / 2) == addresses[j]) {
                start = addresses[j];
                abandoned = !take(j, true);
            }
        }
        if (!abandoned && count != 0) {
            group.registerCount = count;
            ++plan.currentGroup;
        }
    }
    plan.groupCount = plan.currentGroup;

    ChooseBetweenTwoBlocks(plan, rules.twoBlockChoice);
    if (input.exchangeMode == ExchangeMode::kIec101) {
        FilterForIec(plan, input.valueIsFloat);
    }
    plan.currentGroup = 0;
    return plan;
}

void RemovePollGroup(PollPlan& plan, size_t g) {
    if (g >= kPollGroupCapacity) {
        return;
    }
    ClearGroup(plan.pollGroups[g]);
    for (size_t k = g + 1; k < plan.groupCount && k < kPollGroupCapacity; ++k) {
        plan.pollGroups[k - 1] = plan.pollGroups[k];
        ClearGroup(plan.pollGroups[k]);
    }
}
