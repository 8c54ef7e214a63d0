// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/calvena_models.h"
#include "catalogue/poll_groups.h"
#include "catalogue/polmira_models.h"

namespace {

using Names = std::vector<std::string>;

PollGroupInput Input(std::vector<std::pair<std::string, uint32_t>> params, uint8_t mode = 0,
                     bool valueIsFloat = false) {
    PollGroupInput input;
    for (auto& [name, address] : params) {
        input.parameterNames.push_back(name);
        input.parameterAddresses.push_back(address);
    }
    input.exchangeMode = ExchangeModeOf(mode);
    input.valueIsFloat = valueIsFloat;
    return input;
}

std::vector<PollGroup> Groups(const PollPlan& plan) {
    return {plan.pollGroups.begin(), plan.pollGroups.begin() + plan.groupCount};
}

const std::vector<std::pair<std::string, uint32_t>> kClock{
    {"tms1", 0}, {"thm1", 0}, {"tmd1", 0}, {"ty11", 0}};

// The clock registers at consecutive addresses from first.
std::vector<std::pair<std::string, uint32_t>> ClockAt(uint32_t first) {
    auto clock = kClock;
    for (auto& entry : clock) {
        entry.second = first++;
    }
    return clock;
}

PollGroupInput Join(std::initializer_list<std::vector<std::pair<std::string, uint32_t>>> parts,
                    uint8_t mode = 0, bool valueIsFloat = false) {
    std::vector<std::pair<std::string, uint32_t>> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return Input(all, mode, valueIsFloat);
}

struct GroupCase {
    const char* what;
    PollGroupInput input;
    std::vector<PollGroup> groups;
    bool clockInFloat;
    bool clockInCode;
};

void Check(const GroupCase& k, const PollGroupRules& rules) {
    const PollPlan plan = BuildPollGroups(k.input, rules);
    EXPECT_EQ(Groups(plan), k.groups) << k.what;
    EXPECT_EQ(plan.clockInFloatGroup, k.clockInFloat) << k.what;
    EXPECT_EQ(plan.clockInCodeGroup, k.clockInCode) << k.what;
    EXPECT_EQ(plan.currentGroup, 0) << k.what;
    EXPECT_FALSE(plan.groupLimitReached) << k.what;
}

TEST(PollGroups, PolmiraModbusGroups) {
    const GroupCase cases[] = {
        {"floats then codes, one block",
         Input({{"duam", 100}, {"diam", 102}, {"dUam", 104}, {"dIam", 105}}),
         {{100, 6, {"duam", "diam", "dUam", "dIam"}}},
         false,
         false},
        {"two code blocks",
         Input({{"dUam", 10}, {"dIam", 11}, {"aUam", 20}, {"aIam", 21}}),
         {{10, 2, {"dUam", "dIam"}}, {20, 2, {"aUam", "aIam"}}},
         false,
         false},
        {"joining below",
         Input({{"dUam", 11}, {"dIam", 10}}),
         {{10, 2, {"dIam", "dUam"}}},
         false,
         false},
        {"a float joining below",
         Input({{"dUam", 102}, {"duam", 100}}),
         {{100, 3, {"duam", "dUam"}}},
         false,
         false},
        {"a placed parameter joined again",
         Input({{"A", 10}, {"B", 12}, {"C", 11}}),
         {{10, 2, {"A", "C"}}, {11, 2, {"C", "B"}}},
         false,
         false},
        {"clock in the code group",
         Join({{{"dUam", 0}, {"dIam", 1}}, ClockAt(2), {{"duam", 100}, {"diam", 102}}}),
         {{0, 6, {"dUam", "dIam", "tms1", "thm1", "tmd1", "ty11"}}},
         false,
         true},
        {"clock in the float group",
         Join({{{"dUam", 0}, {"dIam", 1}}, {{"duam", 100}, {"diam", 102}}, ClockAt(104)}),
         {{100, 8, {"duam", "diam", "tms1", "thm1", "tmd1", "ty11"}}},
         true,
         false},
        {"two groups without a clock",
         Input({{"dUam", 0}, {"duam", 100}}),
         {{0, 1, {"dUam"}}, {100, 2, {"duam"}}},
         false,
         false},
        {"three groups",
         Join({{{"dUam", 0}}, ClockAt(1), {{"dIam", 50}, {"aIam", 70}}}),
         {{0, 5, {"dUam", "tms1", "thm1", "tmd1", "ty11"}}, {50, 1, {"dIam"}}, {70, 1, {"aIam"}}},
         false,
         false},
        {"no parameters", Input({}), {}, false, false},
    };
    for (const auto& k : cases) {
        Check(k, PolmiraPollGroupRules());
    }
}

TEST(PollGroups, IecModeKeepsTheConfiguredTypeWithoutClock) {
    const auto params = {
        std::vector<std::pair<std::string, uint32_t>>{{"dUam", 0}, {"dIam", 1}},
        std::vector<std::pair<std::string, uint32_t>>{{"duam", 100}, {"diam", 102}}, ClockAt(104)};
    const GroupCase cases[] = {
        {"floats", Join(params, 1, true), {{100, 4, {"duam", "diam"}}}, false, false},
        {"codes", Join(params, 1, false), {{0, 2, {"dUam", "dIam"}}}, false, false},
        {"one block",
         Input({{"duam", 100}, {"diam", 102}, {"dUam", 104}, {"dIam", 105}}, 1, true),
         {{100, 6, {"duam", "diam", "dUam", "dIam"}}},
         false,
         false},
        {"code clock block alone", Input(ClockAt(7), 1, false), {{7, 0, {}}}, false, false},
    };
    for (const auto& k : cases) {
        Check(k, PolmiraPollGroupRules());
        Check(k, CalvenaPollGroupRules());
    }
}

TEST(PollGroups, ChosenParameterIsPolledAloneInIecMode) {
    PollGroupInput input = Input({{"dUam", 0}, {"dIam", 1}}, 1);
    input.chosenParameter = ChosenParameter{0x4001, "dIam"};
    Check({"read 102", input, {{0x4001, 1, {"dIam"}}}, false, false}, PolmiraPollGroupRules());
    // The other program has no such poll kind; nor is it used outside mode 1.
    Check({"no read 102", input, {{0, 2, {"dUam", "dIam"}}}, false, false},
          CalvenaPollGroupRules());
    input.exchangeMode = ExchangeMode::kModbusRtu;
    Check({"modbus", input, {{0, 2, {"dUam", "dIam"}}}, false, false}, PolmiraPollGroupRules());
}

TEST(PollGroups, CalvenaDropsThirtyTwoBitValuesOutsideIec) {
    const GroupCase cases[] = {
        {"only floats", Input({{"duam", 0}, {"diam", 2}, {"flf1", 4}}), {}, false, false},
        {"a float ends its group",
         Input({{"dUam", 0}, {"duam", 1}, {"dIam", 3}, {"aIam", 4}}),
         {{3, 2, {"dIam", "aIam"}}},
         false,
         false},
        {"clock block alone polled as well",
         Join({{{"dUam", 0}, {"dIam", 1}}, ClockAt(100)}, 0),
         {{0, 2, {"dUam", "dIam"}}, {100, 4, {"tms1", "thm1", "tmd1", "ty11"}}},
         false,
         true},
        {"clock in the first of two code groups",
         Join({{{"dUam", 0}, {"dIam", 1}}, ClockAt(2), {{"aUam", 50}, {"aIam", 51}}}, 0),
         {{0, 6, {"dUam", "dIam", "tms1", "thm1", "tmd1", "ty11"}}},
         false,
         true},
        {"codes with clock and floats",
         Join({{{"dUam", 0}, {"dIam", 1}}, ClockAt(2), {{"duam", 100}, {"diam", 102}}}, 0),
         {{0, 6, {"dUam", "dIam", "tms1", "thm1", "tmd1", "ty11"}}},
         false,
         false},
    };
    for (const auto& k : cases) {
        Check(k, CalvenaPollGroupRules());
    }
}

TEST(PollGroups, StopsAtSixteenGroups) {
    for (uint32_t count : {16u, 17u, 32u}) {
        std::vector<std::pair<std::string, uint32_t>> params;
        for (uint32_t i = 0; i < count; ++i) {
            params.push_back({"dUam", 10 * i});
        }
        const PollPlan plan = BuildPollGroups(Input(params), PolmiraPollGroupRules());
        EXPECT_EQ(plan.groupCount, 16);
        EXPECT_EQ(plan.groupLimitReached, count > 16);
        EXPECT_EQ(plan.pollGroups[15].startAddress, 150u);
    }
}

TEST(PollGroups, OnlyTheFirstThirtyTwoParametersCount) {
    std::vector<std::pair<std::string, uint32_t>> params;
    for (uint32_t i = 0; i < 40; ++i) {
        params.push_back({"dUam", i});
    }
    const PollPlan plan = BuildPollGroups(Input(params), PolmiraPollGroupRules());
    ASSERT_EQ(plan.groupCount, 1);
    EXPECT_EQ(plan.pollGroups[0].registerCount, 32);
    EXPECT_EQ(plan.pollGroups[0].names.size(), 32u);
}

TEST(PollGroups, RemoveMovesTheEntriesAboveDown) {
    PollPlan plan;
    plan.groupCount = 3;
    plan.pollGroups[0] = {10, 1, {"a"}};
    plan.pollGroups[1] = {20, 2, {"b", "c"}};
    plan.pollGroups[2] = {30, 1, {"d"}};
    plan.pollGroups[3] = {40, 1, {"left over"}};
    RemovePollGroup(plan, 0);
    EXPECT_EQ(plan.groupCount, 3);
    EXPECT_EQ(plan.pollGroups[0], (PollGroup{20, 2, {"b", "c"}}));
    EXPECT_EQ(plan.pollGroups[1], (PollGroup{30, 1, {"d"}}));
    EXPECT_EQ(plan.pollGroups[2], PollGroup{});
    EXPECT_EQ(plan.pollGroups[3], (PollGroup{40, 1, {"left over"}}));
    RemovePollGroup(plan, 1);
    EXPECT_EQ(plan.pollGroups[1], PollGroup{});
    RemovePollGroup(plan, 16);  // outside the table: nothing
}

TEST(PollGroups, InputFromAConfiguration) {
    TransducerConfig c;
    c.ExchangeMode = ExchangeMode::kIec101;
    c.valueIsFloat = true;
    AddConfigParameter(c, "duam", {100, 1, 0, 0, 0, 20});
    const PollGroupInput input = PollGroupInputFrom(c);
    EXPECT_EQ(input.parameterNames, Names{"duam"});
    EXPECT_EQ(input.parameterAddresses, std::vector<uint32_t>{100});
    EXPECT_EQ(input.exchangeMode, ExchangeMode::kIec101);
    EXPECT_TRUE(input.valueIsFloat);
    EXPECT_FALSE(input.chosenParameter.has_value());
}

}  // namespace
