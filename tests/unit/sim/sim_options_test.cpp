// SPDX-License-Identifier: MIT
#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include "channel/line_mode.h"

namespace {

SimOptions Parsed(const std::vector<std::string>& arguments) {
    const SimOptionsResult result = ParseSimOptions(arguments);
    EXPECT_TRUE(result.options) << result.error;
    return result.options.value_or(SimOptions{});
}

}  // namespace

TEST(SimOptions, DefaultsAndEveryOption) {
    const SimOptions defaults = Parsed({});
    EXPECT_EQ(defaults.model, "TQ21");
    EXPECT_FALSE(defaults.mode || defaults.linkByte || defaults.address);
    EXPECT_EQ(PublishedNameOf(defaults), "sim-TQ21");
    EXPECT_TRUE(defaults.device.empty());

    const SimOptions all =
        Parsed({"--model", "tq20", "--mode=0", "--link-byte", "0xc7", "--address", "12", "--name",
                "bench_1.a", "--device", "/dev/ttyUSB1", "--trace", "--steady"});
    EXPECT_EQ(all.model, "TQ20");
    EXPECT_EQ(all.mode, 0);
    EXPECT_EQ(all.linkByte, 0xC7);
    EXPECT_EQ(all.address, 12);
    EXPECT_EQ(PublishedNameOf(all), "bench_1.a");
    EXPECT_EQ(all.device, "/dev/ttyUSB1");
    EXPECT_TRUE(all.trace && all.steady && !all.list);
    EXPECT_TRUE(Parsed({"--list"}).list);
    EXPECT_TRUE(Parsed({"-h"}).help);
    EXPECT_TRUE(Parsed({"--version"}).version);
    EXPECT_FALSE(defaults.version || defaults.help);
    EXPECT_EQ(Parsed({"--link-byte=135"}).linkByte, 0x87);
}

TEST(SimOptions, RejectsWhatItCannotServe) {
    const std::vector<std::vector<std::string>> bad = {
        {"--model", "XX1"},
        {"--model"},
        {"--mode", "5"},
        {"--mode", "256"},
        {"--mode", "x"},
        {"--mode", ""},
        {"--link-byte", "0x100"},
        {"--link-byte", "0x0B"},  // baud code 11: no line
        {"--link-byte", "0xC0"},  // baud code 0
        {"--address", "-1"},
        {"--address", "70000"},
        {"--name", ".hidden"},
        {"--name", "a/b"},
        {"--name", ""},
        {"--name", std::string(65, 'x')},
        {"--trace=1"},
        {"--version=2"},
        {"--device", ""},
        {"extra"},
        {"--unknown"},
        {"--fault"},
        {"--fault", "hiss"},
        {"--fault", "silence@0"},
        {"--fault-random", "-3"},
        {"--line-delay", "10001"},
        {"--line-delay", "fast"},
    };
    for (const auto& arguments : bad) {
        const SimOptionsResult result = ParseSimOptions(arguments);
        EXPECT_FALSE(result.options) << arguments[0];
        EXPECT_FALSE(result.error.empty());
    }
}

TEST(SimOptions, FaultsRandomKeyAndLineDelay) {
    const SimOptions options = Parsed({"--fault", "silence@10+3", "--fault=noise-after:2%5",
                                       "--fault-random", "42", "--line-delay=15"});
    ASSERT_EQ(options.faults.size(), 2u);
    EXPECT_EQ(options.faults[0].kind, SimFault::kSilence);
    EXPECT_EQ(options.faults[0].window.fromRequest, 10u);
    EXPECT_EQ(options.faults[1].kind, SimFault::kNoiseAfter);
    EXPECT_EQ(options.faults[1].window.chancePpm, 50'000u);
    EXPECT_EQ(options.faultRandomKey, 42u);
    EXPECT_EQ(options.lineDelayMs, 15u);
    // Every fault kind is explained in the help text.
    for (SimFault kind : AllFaultKinds()) {
        EXPECT_NE(SimUsage().find("  " + std::string(FaultName(kind))), std::string::npos)
            << FaultName(kind);
    }
}

TEST(SimOptions, ProfileTakesModeLineAddressAndSteadyValues) {
    SimOptions options = Parsed(
        {"--model", "TQ10", "--mode", "255", "--link-byte", "0xA5", "--address", "17", "--steady"});
    std::string error;
    const auto profile = ProfileForOptions(options, error);
    ASSERT_TRUE(profile) << error;
    EXPECT_EQ(profile->config.ExchangeMode, ExchangeMode::kModbusAscii);
    EXPECT_EQ(profile->config.linkSettingsByte, 0xA5);
    EXPECT_EQ(profile->config.linkAddress, 17);
    EXPECT_EQ(profile->config.wordOrder, FindProfile("TQ10")->config.wordOrder);
    for (const SimParameter& p : profile->parameters) {
        EXPECT_EQ(p.amplitude, 0.0);
    }
    // The record is rebuilt: the clock registers are still listed after the values.
    EXPECT_EQ(profile->config.parameterNames.back(), "ty11");

    // IEC modes take their word order from the mode.
    options.mode = 1;
    options.address = 200;
    const auto iec = ProfileForOptions(options, error);
    ASSERT_TRUE(iec) << error;
    EXPECT_EQ(iec->config.wordOrder, 0);

    // A Modbus slave address is 1 to 247; a one-byte link address stops at 254.
    options.mode = 0;
    for (const int address : {0, 248}) {
        options.address = static_cast<uint16_t>(address);
        EXPECT_FALSE(ProfileForOptions(options, error)) << address;
    }
    options.mode = 2;
    options.address = 255;
    EXPECT_FALSE(ProfileForOptions(options, error));
    options.address = 0;
    EXPECT_TRUE(ProfileForOptions(options, error));
}

TEST(SimOptions, LineAndModeTexts) {
    EXPECT_EQ(DescribeLine(ParseModeString("19200,E,8,1", LineSettings{})), "19200,E,8,1");
    EXPECT_EQ(DescribeLine(ParseModeString("9600,O,7,2", LineSettings{})), "9600,O,7,2");
    EXPECT_EQ(DescribeLine(ParseModeString("1200,N,8,1.5", LineSettings{})), "1200,N,8,1.5");
    EXPECT_EQ(DescribeLine(ParseModeString("38400,E,8,2", LineSettings{}), false), "38400,?,?,2");
    EXPECT_EQ(ExchangeModeName(ExchangeMode::kModbusAscii), "Modbus ASCII");
    EXPECT_EQ(ExchangeModeName(ExchangeMode::kModbusRtu), "Modbus RTU");

    // One line per built-in profile, each starting with its key.
    const std::string listing = ProfileListing();
    size_t lines = 0;
    for (size_t start = 0; start < listing.size(); ++lines) {
        const size_t end = listing.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(listing.substr(start, 4), BuiltInProfiles()[lines].key);
        start = end + 1;
    }
    EXPECT_EQ(lines, BuiltInProfiles().size());
}
