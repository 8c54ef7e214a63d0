// SPDX-License-Identifier: MIT
// The display refresh over arbitrary answers, parameter lists and poll groups: a group of
// arbitrary names (as no configuration would give) and the first group that the poll-group
// building makes of the same list, under either program's catalogue and rules. Each refresh
// must read nothing past the answer, write values only into slots that have a caption, give
// no more cells than the group has logged names, format numbers with a decimal point, and keep
// the captions from growing however often it runs.
//
// Input: byte 0 flags (bit 0 Calvena, bit 1 physical units, bit 2 clock in a float group, bit
// 3 IEC-101, bit 4 time-tagged values, bit 5 the transducer keeps a clock, bits 6-7 word
// order), byte 1 the model (bits 0-3) and the IEC-101 value type (bits 4-7), byte 2 the clock
// staleness (bits 0-2) and the number of parameters (bits 3-7); then three bytes a parameter
// (name, bit 7: no log column; divisor code; nominal); the rest is the answer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/calvena_models.h"
#include "catalogue/parameter_naming.h"
#include "catalogue/poll_groups.h"
#include "catalogue/polmira_models.h"
#include "polling/measurement_display.h"

namespace {

constexpr size_t kHeaderSize = 3;
constexpr size_t kBytesPerParameter = 3;

// Aborts with the line of the broken rule.
void Require(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "%s:%d: rule broken\n", __FILE__, line);
        std::abort();
    }
}

// Names the transducers use (codes, 32-bit values, the clock registers), and a few that match
// no naming rule.
constexpr const char* kNames[] = {
    "aUa1", "aUb1", "aUc1", "aUab", "aUbc", "aUca", "aua1", "aub1", "auc1", "auab", "aubc", "auca",
    "aUae", "aUam", "auae", "auam", "aIae", "aIam", "aiam", "dUab", "dUbc", "dUca", "dUae", "dUam",
    "duae", "duam", "dIae", "dIam", "dsUl", "Frq1", "flf1", "Uae1", "Uam1", "uae1", "uam1", "Iae1",
    "Iam1", "tms1", "thm1", "tmd1", "ty11", "none", "F",    "",     "tmsX", "UUUU"};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

constexpr const char* kModels[] = {"TQ10", "TQ20", "TQ21", "TQ22",     "TQ23", "TQ30",
                                   "TQ41", "TQ43", "TQ51", "TQ41TQ22", "",     "XX99"};
constexpr size_t kModelCount = sizeof kModels / sizeof kModels[0];

constexpr uint8_t kValueTypes[] = {0, 9, 10, 11, 13, 14, 34, 35, 36, 143, 145, 1, 21, 5, 255, 12};

bool IsNumberText(const std::string& text) {
    // A value text is a number, a plain integer or with a decimal point, or empty (no unit in
    // physical units); anything with a comma came from the process locale.
    return text.find(',') == std::string::npos && text.size() <= 48;
}

void CheckResult(const DisplayResult& result, const DisplayInput& input,
                 const SlotCaptions& captions) {
    const size_t logged =
        static_cast<size_t>(std::count(input.logColumns.begin(), input.logColumns.end(), true));
    Require(result.cells.size() <= logged);
    for (const std::string& cell : result.cells) {
        Require(cell.size() >= 5 && cell.compare(cell.size() - 5, 5, "    \t") == 0);
        Require(IsNumberText(cell.substr(0, cell.size() - 5)));
    }
    for (size_t slot = 0; slot < kSlotCount; ++slot) {
        if (result.values[slot]) {
            Require(!captions[slot].empty());
            Require(IsNumberText(*result.values[slot]));
        }
    }
    if (result.logTimeText) {
        Require(!result.logTimeText->empty() && result.logTimeText->back() == '\t');
        Require(result.logTimeText->find('.') == std::string::npos);
        Require(result.logTimeText->size() <= 32);
    }
    if (result.transducerTimeText) {
        Require(result.transducerTimeText->size() <= 24);
        Require(result.showComputerTime);
    }
    for (const std::string& caption : captions) {
        Require(caption.size() <= 40);
    }
}

// Refreshes four times in a row over the same answer, as the ticks of a steady line would.
void RefreshRepeatedly(const DisplayInput& input, SlotCaptions captions) {
    for (int round = 0; round < 4; ++round) {
        const DisplayResult result = RefreshValues(input, captions);
        CheckResult(result, input, captions);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) {
        return 0;
    }
    const bool calvena = (data[0] & 0x01) != 0;
    const bool iec = (data[0] & 0x08) != 0;

    TransducerConfig config;
    config.modelName = kModels[(data[1] & 0x0F) % kModelCount];
    config.ExchangeMode = iec                     ? ExchangeMode::kIec101
                          : (data[1] & 0x10) != 0 ? ExchangeMode::kModbusRtu
                                                  : ExchangeMode::kModbusAscii;
    config.valuesTimeTagged = (data[0] & 0x10) != 0;
    config.timeSupport = (data[0] & 0x20) != 0 ? 1 : 0;
    config.wordOrder = std::min<uint16_t>(data[0] >> 6, 2);
    const uint8_t valueType = kValueTypes[data[1] >> 4];
    config.valueIsFloat = IsFloatValueType(valueType);

    const size_t count = std::min<size_t>(data[2] >> 3, TransducerConfig::kMaxParameters);
    std::vector<bool> logColumns;
    size_t at = kHeaderSize;
    for (size_t i = 0; i < count && at + kBytesPerParameter <= size; ++i) {
        const uint8_t* p = data + at;
        at += kBytesPerParameter;
        ConfigParameter parameter;
        parameter.address = static_cast<uint32_t>(0x100 + 2 * i);
        parameter.divisorCode = p[1];
        parameter.nominal = uint32_t{p[2]} * 397u;
        AddConfigParameter(config, kNames[(p[0] & 0x7F) % kNameCount], parameter);
        logColumns.push_back((p[0] & 0x80) == 0);
    }
    // The answer in a buffer of its own size, so that a read past it is caught.
    const std::vector<uint8_t> answer(data + at, data + size);

    Panel panel;
    IdentifyModel(calvena ? CalvenaModelCatalogue() : PolmiraModelCatalogue(), config.modelName,
                  panel);

    DisplayInput input;
    input.values = RegisterAnswerValues(answer);
    input.config = &config;
    input.exchangeMode = config.ExchangeMode;
    input.lastValueType = valueType;
    input.physicalUnits = (data[0] & 0x02) != 0;
    input.clockInFloatGroup = (data[0] & 0x04) != 0;
    input.asduTime = {static_cast<uint16_t>(data[1] * 235u), static_cast<uint16_t>(data[2] << 8),
                      static_cast<uint16_t>(data[0] * 131u), data[2]};
    input.clockStaleCount = data[2] & 0x07;
    input.clockValueSkipped = !calvena;
    input.floatCaptionsForClockFloatGroup = !calvena;

    // The parameter list itself as one group.
    PollGroup arbitrary;
    arbitrary.names = config.parameterNames;
    input.group = &arbitrary;
    input.logColumns = logColumns;
    RefreshRepeatedly(input, panel.captions);

    // The first group the poll-group building makes of it, with the columns the log gives it.
    PollGroupInput groupInput = PollGroupInputFrom(config);
    const PollPlan plan =
        BuildPollGroups(groupInput, calvena ? CalvenaPollGroupRules() : PolmiraPollGroupRules());
    if (plan.groupCount > 0) {
        const PollGroup& group = plan.pollGroups[0];
        input.group = &group;
        input.clockInFloatGroup = plan.clockInFloatGroup;
        input.logColumns.clear();
        for (const std::string& name : group.names) {
            input.logColumns.push_back(!IsClockName(name));
        }
        RefreshRepeatedly(input, panel.captions);
    }
    return 0;
}
