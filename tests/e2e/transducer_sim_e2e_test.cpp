// SPDX-License-Identifier: MIT
// transducer-sim as a separate process on a pseudo-terminal, reached in real time through the
// POSIX serial device and the serial channel the programs use.

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/transducer_config.h"
#include "channel/modbus_frame.h"
#include "channel/serial_channel.h"
#include "channel/transducer_access.h"
#include "e2e/sim_process.h"
#include "platform/posix/posix_serial_device.h"
#include "platform/posix/system_clock.h"
#include "support/log_text.h"

namespace {

namespace fs = std::filesystem;

// The program's side: the port, the clock and the channel of the real programs.
struct ProgramSide {
    SystemClock clock;
    PosixSerialDevice port;
    SerialChannel channel{port, clock};

    // Wakes the transducer, reads its configuration and ends its configuration phase, as a
    // Start does; the port is closed afterwards.
    std::optional<TransducerConfig> ReadConfigurationAndChangeOver(const std::string& portPath) {
        if (!channel.OpenPort(portPath)) {
            ADD_FAILURE() << "cannot open " << portPath;
            return std::nullopt;
        }
        clock.Sleep(100);
        if (channel.ScanLinkSettings() == SerialChannel::kNotHeard) {
            ADD_FAILURE() << "the scan did not wake the simulator";
            return std::nullopt;
        }
        const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
        channel.SendRtuRequest(1, kFunctionReadConfiguration, 0, &access);
        clock.Sleep(1000);
        std::vector<uint8_t> answer;
        const uint8_t code = channel.ReceiveRtuAnswer(answer);
        EXPECT_EQ(code, kModbusValid);
        const ConfigDecodeResult decoded = DecodeTransducerConfig(answer, 5);
        EXPECT_TRUE(decoded.accepted()) << DescribeRejection(decoded.rejection);

        channel.ApplyLinkSettingsByte(kConfigurationLinkSettingsByte);
        std::vector<uint8_t> scratch;
        channel.ReceiveRtuAnswer(scratch);
        const std::vector<uint8_t> zero = {0x00};
        channel.SendRtuRequest(1, kFunctionEndConfiguration, 0, &zero);
        clock.Sleep(500);
        scratch.clear();
        EXPECT_EQ(channel.ReceiveRtuAnswer(scratch), kModbusValid);
        EXPECT_EQ(scratch, (std::vector<uint8_t>{1, kFunctionEndConfiguration, 0}));
        channel.ClosePort();
        return decoded.config;
    }

    // Reopens the port at the transducer's own settings (after its change-over).
    bool ReopenAtOwnSettings(const std::string& portPath, uint8_t linkSettingsByte) {
        if (!channel.OpenPort(portPath)) {
            return false;
        }
        return channel.ApplyLinkSettingsByte(linkSettingsByte);
    }
};

// value = code * nominal / divisor / 65536 for a 16-bit code of the record's parameter i
// (frequencies, names with an F, are unsigned; the rest signed).
double PhysicalOf(const TransducerConfig& config, size_t i, uint16_t code) {
    const ConfigParameter& p = config.parameters.at(i);
    const bool isUnsigned = config.parameterNames.at(i).find_first_of("Ff") != std::string::npos;
    const double divisor = (p.divisorCode & 7) == 1   ? 1000
                           : (p.divisorCode & 7) == 2 ? 100
                           : (p.divisorCode & 7) == 3 ? 10
                                                      : 1;
    const double value = isUnsigned ? code : static_cast<int16_t>(code);
    return value * static_cast<double>(p.nominal) / divisor / 65536.0;
}

}  // namespace

TEST(TransducerSimE2e, RtuTransducerIsWokenReadChangedOverAndPolled) {
    SimProcess sim({"--model", "TQ21", "--steady", "--trace"});
    ASSERT_FALSE(sim.PortPath().empty()) << sim.Stderr();
    EXPECT_EQ(fs::path(sim.PortPath()).filename(), "sim-TQ21");

    ProgramSide program;
    const auto config = program.ReadConfigurationAndChangeOver(sim.PortPath());
    ASSERT_TRUE(config);
    EXPECT_EQ(config->modelName, "TQ21-1");
    EXPECT_EQ(config->linkAddress, 3);
    EXPECT_EQ(config->linkSettingsByte, 0xC8);  // 38400,E,8,1
    EXPECT_EQ(config->ExchangeMode, ExchangeMode::kModbusRtu);
    ASSERT_EQ(config->parameterNames.size(), 11u);  // seven values, four clock registers

    // The transducer changes over a second after function 127; the programs wait five.
    program.clock.Sleep(1500);
    ASSERT_TRUE(program.ReopenAtOwnSettings(sim.PortPath(), config->linkSettingsByte));
    for (int poll = 0; poll < 3; ++poll) {
        const std::vector<uint8_t> count = {0x00, 0x0B};
        program.channel.SendRtuRequest(3, 4, 0x0100, &count);
        program.clock.Sleep(100);
        std::vector<uint8_t> answer;
        ASSERT_EQ(program.channel.ReceiveRtuAnswer(answer), kModbusValid) << "poll " << poll;
        ASSERT_EQ(answer.size(), 3u + 22u);
        EXPECT_EQ(answer[0], 3);
        EXPECT_EQ(answer[1], 4);
        EXPECT_EQ(answer[2], 22);
        auto code = [&](size_t k) {
            return static_cast<uint16_t>(answer[3 + 2 * k] << 8 | answer[4 + 2 * k]);
        };
        EXPECT_NEAR(PhysicalOf(*config, 0, code(0)), 230.0, 0.01);  // aUam
        EXPECT_NEAR(PhysicalOf(*config, 3, code(3)), 24.0, 0.01);   // dUae
        EXPECT_NEAR(PhysicalOf(*config, 6, code(6)), 50.0, 0.01);   // Frq1
        EXPECT_LT(code(7), 60'000);                                 // ms of the minute
    }
    program.channel.ClosePort();

    ASSERT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.PortPath())));
    // The trace shows the configuration request and the record's answer.
    const std::string trace = sim.Stderr();
    EXPECT_NE(trace.find("<- [19200,?,?,1] 01 64 4B 31"), std::string::npos) << trace;
    EXPECT_NE(trace.find("-> [19200,E,8,1] 01 64"), std::string::npos);
    EXPECT_NE(trace.find("== own settings, listening at 38400,E,8,1"), std::string::npos);
}

TEST(TransducerSimE2e, OptionsGiveAnAsciiTransducerOfAnotherAddressAndLine) {
    SimProcess sim({"--model", "TQ10", "--mode", "255", "--link-byte", "0xA5", "--address", "17",
                    "--steady", "--name", "bench-ascii"});
    ASSERT_FALSE(sim.PortPath().empty()) << sim.Stderr();
    EXPECT_EQ(fs::path(sim.PortPath()).filename(), "bench-ascii");

    ProgramSide program;
    const auto config = program.ReadConfigurationAndChangeOver(sim.PortPath());
    ASSERT_TRUE(config);
    EXPECT_EQ(config->ExchangeMode, ExchangeMode::kModbusAscii);
    EXPECT_EQ(config->linkSettingsByte, 0xA5);  // 9600,N,8,1
    EXPECT_EQ(config->linkAddress, 17);

    program.clock.Sleep(1500);
    ASSERT_TRUE(program.ReopenAtOwnSettings(sim.PortPath(), config->linkSettingsByte));
    const std::vector<uint8_t> count = {0x00, 0x02};
    program.channel.SendAsciiRequest(17, 4, 0x0100, &count);
    program.clock.Sleep(100);
    std::vector<uint8_t> answer;
    ASSERT_EQ(program.channel.ReceiveAsciiAnswer(answer), kModbusValid);
    ASSERT_EQ(answer.size(), 3u + 4u);
    EXPECT_EQ(answer[0], 17);
    EXPECT_NEAR(PhysicalOf(*config, 0, static_cast<uint16_t>(answer[3] << 8 | answer[4])), 2.5,
                0.001);
    program.channel.ClosePort();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(TransducerSimE2e, PublishedLinkIsPrivateGuardedAndRemovedAtTheEnd) {
    const fs::path runtime = SimProcess::MakePrivateDirectory("simprog-e2e-run");
    {
        SimProcess first({"--name", "shared"}, runtime);
        ASSERT_FALSE(first.PortPath().empty()) << first.Stderr();
        EXPECT_EQ(first.PortPath(), (runtime / "transducer-sim" / "shared").string());
        EXPECT_TRUE(fs::is_symlink(first.PortPath()));
        EXPECT_TRUE(fs::is_character_file(first.PortPath()));
        EXPECT_EQ(fs::read_symlink(first.PortPath()).string().rfind("/dev/pts/", 0), 0u);
        EXPECT_EQ(fs::status(runtime / "transducer-sim").permissions() & fs::perms::all,
                  fs::perms::owner_all);

        // The name is taken while the first one runs.
        ChildProcess second;
        ASSERT_TRUE(second.Start(SimProcess::ProgramPath(), {"--name", "shared"},
                                 {"XDG_RUNTIME_DIR=" + runtime.string()},
                                 (runtime / "second.txt").string()));
        EXPECT_EQ(second.Wait(5000), 1);
        EXPECT_NE(FileText(runtime / "second.txt").find("in use"), std::string::npos);

        // Ctrl-C ends it as cleanly as SIGTERM.
        ASSERT_TRUE(first.Process().Interrupt());
        EXPECT_EQ(first.Process().Wait(5000), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(runtime / "transducer-sim" / "shared")));
    }
    {
        // A simulator killed outright leaves its link; the next one of that name replaces it.
        SimProcess killed({"--name", "again"}, runtime);
        ASSERT_FALSE(killed.PortPath().empty());
        const fs::path oldTarget = fs::read_symlink(killed.PortPath());
        ASSERT_TRUE(killed.Process().Kill());
        EXPECT_EQ(killed.Process().Wait(5000), 128 + 9);
        EXPECT_TRUE(fs::is_symlink(killed.PortPath()));

        SimProcess next({"--name", "again"}, runtime);
        ASSERT_EQ(next.PortPath(), killed.PortPath()) << next.Stderr();
        EXPECT_TRUE(fs::is_character_file(next.PortPath()));
        EXPECT_EQ(next.Stop(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(next.PortPath())));
        static_cast<void>(oldTarget);
    }
    fs::remove_all(runtime);
}

TEST(TransducerSimE2e, RefusesARuntimeDirectoryOthersCanEnter) {
    const fs::path runtime = SimProcess::MakePrivateDirectory("simprog-e2e-run");
    // A publication directory that others may write to could hold their links: refused.
    fs::create_directory(runtime / "transducer-sim");
    fs::permissions(runtime / "transducer-sim", fs::perms::owner_all | fs::perms::others_all,
                    fs::perm_options::replace);
    ChildProcess sim;
    ASSERT_TRUE(sim.Start(SimProcess::ProgramPath(), {"--name", "open"},
                          {"XDG_RUNTIME_DIR=" + runtime.string()},
                          (runtime / "stderr.txt").string()));
    EXPECT_EQ(sim.Wait(5000), 1);
    EXPECT_NE(FileText(runtime / "stderr.txt").find("is not private"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(runtime / "transducer-sim" / "open")));
    fs::remove_all(runtime);
}

TEST(TransducerSimE2e, ListAndBadArguments) {
    ChildProcess list;
    ASSERT_TRUE(list.Start(SimProcess::ProgramPath(), {"--list"}));
    std::vector<std::string> lines;
    while (auto line = list.ReadLine(5000)) {
        lines.push_back(*line);
    }
    EXPECT_EQ(list.Wait(5000), 0);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[2].rfind("TQ21  mode 0 (Modbus RTU), 38400,E,8,1 (link byte 0xC8)", 0), 0u)
        << lines[2];

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--model", "XX99"},
                                               {"--mode", "7"},
                                               {"--link-byte", "0x10"},
                                               {"--bogus"},
                                               {"--address", "300"}}) {
        ChildProcess sim;
        ASSERT_TRUE(sim.Start(SimProcess::ProgramPath(), bad, {}, "/dev/null"));
        EXPECT_EQ(sim.Wait(5000), 2) << bad[0];
    }
}
