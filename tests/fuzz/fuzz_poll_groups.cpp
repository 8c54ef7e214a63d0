// SPDX-License-Identifier: MIT
// Builds poll groups from arbitrary parameter lists under both programs' rules and checks that
// the plan stays within its table and that every group's register count fits its names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/calvena_models.h"
#include "catalogue/parameter_naming.h"
#include "catalogue/poll_groups.h"
#include "catalogue/polmira_models.h"

namespace {

// Letters that make up the naming patterns, so that clock, code and float names all occur.
constexpr char kAlphabet[] = "tmshdyIUiuaebcFflAZ1";

void CheckPlan(const PollPlan& plan, const PollGroupInput& input, bool singleGroup) {
    if (plan.groupCount > kPollGroupCapacity || plan.currentGroup != 0 ||
        (plan.clockInFloatGroup && plan.clockInCodeGroup)) {
        std::abort();
    }
    if (singleGroup) {
        return;
    }
    for (size_t g = 0; g < plan.groupCount; ++g) {
        const PollGroup& group = plan.pollGroups[g];
        size_t registers = 0;
        for (const std::string& name : group.names) {
            registers += ValueSizeOfName(name) / 2;
        }
        if (registers != group.registerCount) {
            std::abort();
        }
        if (input.exchangeMode != ExchangeMode::kIec101 && group.names.empty()) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    static constexpr ExchangeMode kModes[] = {ExchangeMode::kModbusRtu, ExchangeMode::kIec101,
                                              ExchangeMode::kModbusAscii,
                                              ExchangeMode::kReceiveOnly};
    PollGroupInput input;
    input.exchangeMode = kModes[data[0] & 3];
    input.valueIsFloat = (data[1] & 1) != 0;
    if ((data[1] & 2) != 0) {
        input.chosenParameter = ChosenParameter{data[0], "dUam"};
    }
    // Five bytes per parameter, at most 40 of them (more than the configuration holds): four
    // name letters and an address step.
    uint32_t address = 0;
    for (size_t i = 2; i + 5 <= size && i < 2 + 5 * 40; i += 5) {
        std::string name;
        for (size_t k = 0; k < 4; ++k) {
            name.push_back(kAlphabet[data[i + k] % (sizeof kAlphabet - 1)]);
        }
        const uint8_t step = data[i + 4];
        address = (step & 0x80) != 0 ? address + (step & 0x7Fu) - 0x40u : step;
        input.parameterNames.push_back(name);
        input.parameterAddresses.push_back(address);
    }
    const bool single =
        input.exchangeMode == ExchangeMode::kIec101 && input.chosenParameter.has_value();
    CheckPlan(BuildPollGroups(input, PolmiraPollGroupRules()), input, single);
    CheckPlan(BuildPollGroups(input, CalvenaPollGroupRules()), input, false);
    return 0;
}
