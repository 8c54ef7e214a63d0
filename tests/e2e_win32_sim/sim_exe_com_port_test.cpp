// SPDX-License-Identifier: MIT
// transducer-sim.exe under Wine, serving a COM port, reached from Linux through the programs'
// own serial channel on the POSIX serial device. The COM port leads to one end of a pair of
// linked pseudo-terminals, this test holds the other (with_sim_exe_line.sh sets them up and
// names them in the environment; without it every case is skipped).
//
// The bytes are relayed between the two ends whatever line either side sets: the simulator's
// COM port hears every byte at the line it listens at itself, so these cases show what it
// answers and at which line it sets its port, never that it refuses a sender at a wrong rate or
// parity.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/transducer_config.h"
#include "channel/modbus_frame.h"
#include "channel/serial_channel.h"
#include "channel/transducer_access.h"
#include "platform/posix/posix_serial_device.h"
#include "platform/posix/system_clock.h"
#include "support/log_text.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Long enough for any answer, a change-over or a process's end under a busy Wine.
constexpr unsigned kWaitMs = 5000;

// Polls the condition every few milliseconds until it holds or timeoutMs have passed.
template <class Condition>
bool WaitUntil(Condition condition, unsigned timeoutMs = kWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) {
        ++count;
    }
    return count;
}

// What with_sim_exe_line.sh gives: the program and its Wine, the COM port and the two ends of
// the line behind it, the parity shim for Wine's process, and a file for the pids it starts.
struct LineSetup {
    std::string wine;
    std::string program;
    std::string comPort;
    std::string linuxEnd;
    std::string wineEnd;
    std::string shim;
    std::string pidFile;

    static std::optional<LineSetup> FromEnvironment() {
        LineSetup s;
        const std::pair<std::string*, const char*> names[] = {
            {&s.wine, "BRENNO_WINE"},
            {&s.program, "BRENNO_SIM_EXE"},
            {&s.comPort, "BRENNO_SIM_PORT"},
            {&s.linuxEnd, "BRENNO_LINE_LINUX_END"},
            {&s.wineEnd, "BRENNO_LINE_WINE_END"},
            {&s.shim, "BRENNO_PTY_PARITY_SHIM"},
            {&s.pidFile, "BRENNO_SIM_PIDS"}};
        for (const auto& [field, name] : names) {
            const char* value = std::getenv(name);
            if (value == nullptr || *value == '\0') {
                return std::nullopt;
            }
            *field = value;
        }
        return s;
    }
};

// transducer-sim.exe run under Wine with the parity shim preloaded. Its standard output and
// error go to files (a running wineserver holds a pipe open, so a reader would never see it
// end); standard input is /dev/null. One still running at the end is killed.
class SimExe {
  public:
    SimExe(const LineSetup& setup, const std::vector<std::string>& arguments) {
        char pattern[] = "/tmp/sim-exe-XXXXXX";
        dir_ = mkdtemp(pattern) != nullptr ? pattern : "";
        std::vector<std::string> argv = {setup.wine, setup.program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> args;
        for (std::string& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        std::string preload = "LD_PRELOAD=" + setup.shim;
        std::vector<char*> env = {preload.data()};
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::string(*e).rfind("LD_PRELOAD=", 0) != 0) {
                env.push_back(*e);
            }
        }
        env.push_back(nullptr);

        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, OutPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&files, 2, ErrPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (dir_.empty() ||
            posix_spawnp(&pid_, args[0], &files, nullptr, args.data(), env.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&files);
        if (pid_ > 0) {
            std::ofstream(setup.pidFile, std::ios::app) << pid_ << '\n';
        }
    }

    ~SimExe() {
        if (!exitCode_ && pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait(kWaitMs);
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    SimExe(const SimExe&) = delete;
    SimExe& operator=(const SimExe&) = delete;

    std::string Out() const { return FileText(OutPath()); }
    std::string Err() const { return FileText(ErrPath()); }

    // True once its standard output has the line (the port's name, printed once it is open;
    // the C runtime ends it with CR LF).
    bool WaitForOutputLine(const std::string& line) {
        return WaitUntil(
                   [&] { return Out().find(line + "\r\n") != std::string::npos || Ended(); }) &&
               !Ended();
    }
    // True once its standard error (the trace) has the text n times.
    bool WaitForTrace(const std::string& text, size_t n = 1) {
        return WaitUntil([&] { return Occurrences(Err(), text) >= n; });
    }

    // Ctrl-C, as a console sends it: Wine turns SIGINT into the console's control event.
    bool Interrupt() { return pid_ > 0 && kill(pid_, SIGINT) == 0; }

    // Its exit code, or 128 + the signal that ended it; nothing while it still runs.
    std::optional<int> Wait(unsigned timeoutMs) {
        WaitUntil([this] { return Ended(); }, timeoutMs);
        return exitCode_;
    }

  private:
    std::string OutPath() const { return dir_ + "/out"; }
    std::string ErrPath() const { return dir_ + "/err"; }

    bool Ended() {
        if (exitCode_ || pid_ <= 0) {
            return true;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) {
            return false;
        }
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }

    std::string dir_;
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
};

// The baud rate the simulator's COM port is set to, read at the Wine end of the line (a
// pseudo-terminal keeps the rate and the stop bits, never the parity); 0 when unreadable.
speed_t ComPortSpeed(const std::string& wineEnd) {
    const int fd = open(wineEnd.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios t{};
    const bool read = fd >= 0 && tcgetattr(fd, &t) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return read ? cfgetispeed(&t) : 0;
}

// The programs' side: their port, clock and channel on the Linux end of the line.
struct ProgramSide {
    SystemClock clock;
    PosixSerialDevice port;
    SerialChannel channel{port, clock};

    // Collects what comes until it is a whole RTU frame with a valid checksum; its address,
    // function and data, or the last check's result when none came within kWaitMs.
    uint8_t ReceiveRtu(std::vector<uint8_t>& answer) {
        std::vector<uint8_t> collected;
        uint8_t code = 0xFF;
        WaitUntil([&] {
            uint8_t buffer[512];
            const size_t n = channel.ReadAvailable(buffer, sizeof buffer);
            collected.insert(collected.end(), buffer, buffer + n);
            answer.clear();
            code = collected.empty() ? code : CheckRtuAnswer(collected, answer);
            return code == kModbusValid;
        });
        return code;
    }
};

// value = code * nominal / divisor / 65536 for a signed 16-bit code of parameter i (the
// frequencies are unsigned).
double PhysicalOf(const TransducerConfig& config, size_t i, uint16_t code) {
    const ConfigParameter& p = config.parameters.at(i);
    const bool isUnsigned = config.parameterNames.at(i).find_first_of("Ff") != std::string::npos;
    const double divisors[] = {1, 1000, 100, 10};
    const double divisor = (p.divisorCode & 7) <= 3 ? divisors[p.divisorCode & 7] : 1;
    const double value = isUnsigned ? code : static_cast<int16_t>(code);
    return value * static_cast<double>(p.nominal) / divisor / 65536.0;
}

class SimExeOnComPort : public ::testing::Test {
  protected:
    void SetUp() override {
        setup_ = LineSetup::FromEnvironment();
        if (!setup_) {
            GTEST_SKIP() << "run by with_sim_exe_line.sh (ctest of the windows preset)";
        }
    }
    std::optional<LineSetup> setup_;
};

}  // namespace

TEST_F(SimExeOnComPort, RtuTransducerIsReadChangedOverPolledAndEndedByCtrlC) {
    const LineSetup& line = *setup_;
    SimExe sim(line, {"--device", line.comPort, "--model", "TQ21", "--steady", "--trace"});
    ASSERT_TRUE(sim.WaitForOutputLine(line.comPort)) << sim.Err();
    EXPECT_NE(sim.Err().find("TQ21 (Modbus RTU, 38400,E,8,1, address 3) on " + line.comPort),
              std::string::npos)
        << sim.Err();

    // Woken and read as a Start does: the scan, then function 100 at the configuration line.
    ProgramSide program;
    ASSERT_TRUE(program.channel.OpenPort(line.linuxEnd));
    ASSERT_NE(program.channel.ScanLinkSettings(), SerialChannel::kNotHeard) << sim.Err();
    EXPECT_EQ(ComPortSpeed(line.wineEnd), B19200);
    const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
    program.channel.SendRtuRequest(1, kFunctionReadConfiguration, 0, &access);
    std::vector<uint8_t> record;
    ASSERT_EQ(program.ReceiveRtu(record), kModbusValid) << sim.Err();
    const ConfigDecodeResult decoded = DecodeTransducerConfig(record, 5);
    ASSERT_TRUE(decoded.accepted()) << DescribeRejection(decoded.rejection);
    const TransducerConfig& config = *decoded.config;
    EXPECT_EQ(config.modelName, "TQ21-1");
    EXPECT_EQ(config.linkAddress, 3);
    EXPECT_EQ(config.linkSettingsByte, 0xC8);  // 38400,E,8,1
    EXPECT_EQ(config.ExchangeMode, ExchangeMode::kModbusRtu);
    ASSERT_EQ(config.parameterNames.size(), 11u);

    // Function 127 ends the configuration; the simulator sets its port to its own line. Each
    // request goes out as soon as the answer before it is in: the simulator on a COM port must
    // not take the request's first bytes, which are its answer's, for that answer's echo.
    program.channel.ApplyLinkSettingsByte(kConfigurationLinkSettingsByte);
    const std::vector<uint8_t> zero = {0x00};
    program.channel.SendRtuRequest(1, kFunctionEndConfiguration, 0, &zero);
    std::vector<uint8_t> ended;
    ASSERT_EQ(program.ReceiveRtu(ended), kModbusValid) << sim.Err();
    EXPECT_EQ(ended, (std::vector<uint8_t>{1, kFunctionEndConfiguration, 0}));
    // The first "own settings" is the start's; the second the change-over's.
    ASSERT_TRUE(sim.WaitForTrace("== own settings, listening at 38400,E,8,1", 2)) << sim.Err();
    EXPECT_EQ(ComPortSpeed(line.wineEnd), B38400);

    ASSERT_TRUE(program.channel.ApplyLinkSettingsByte(config.linkSettingsByte));
    for (int poll = 0; poll < 3; ++poll) {
        const std::vector<uint8_t> count = {0x00, 0x0B};
        program.channel.SendRtuRequest(3, 4, 0x0100, &count);
        std::vector<uint8_t> answer;
        ASSERT_EQ(program.ReceiveRtu(answer), kModbusValid) << "poll " << poll << "\n" << sim.Err();
        ASSERT_EQ(answer.size(), 3u + 22u);
        EXPECT_EQ(answer[0], 3);
        EXPECT_EQ(answer[1], 4);
        EXPECT_EQ(answer[2], 22);
        auto code = [&](size_t k) {
            return static_cast<uint16_t>(answer[3 + 2 * k] << 8 | answer[4 + 2 * k]);
        };
        EXPECT_NEAR(PhysicalOf(config, 0, code(0)), 230.0, 0.01);  // aUam
        EXPECT_NEAR(PhysicalOf(config, 3, code(3)), 24.0, 0.01);   // dUae
        EXPECT_NEAR(PhysicalOf(config, 6, code(6)), 50.0, 0.01);   // Frq1
    }
    program.channel.ClosePort();

    // Ctrl-C ends it as the program's own end: code 0, the port let go, not lost.
    ASSERT_TRUE(sim.Interrupt());
    EXPECT_EQ(sim.Wait(kWaitMs), 0) << sim.Err();
    const std::string trace = sim.Err();
    EXPECT_EQ(trace.find("the port is gone"), std::string::npos) << trace;
    // Its port hears every byte at the line it is set to itself.
    EXPECT_NE(trace.find("<- [19200,E,8,1] 01 64 4B 31"), std::string::npos) << trace;
    EXPECT_NE(trace.find("-> [19200,E,8,1] 01 64"), std::string::npos) << trace;
    EXPECT_NE(trace.find("<- [38400,E,8,1] 03 04 01 00 00 0B"), std::string::npos) << trace;
    EXPECT_NE(trace.find("-> [38400,E,8,1] 03 04 16"), std::string::npos) << trace;
}

TEST_F(SimExeOnComPort, APortThatDoesNotExistIsNamedWithTheReasonAndEndsIt) {
    // Wine lets a second opener have a COM port that is in use, so only a missing one is tried.
    SimExe sim(*setup_, {"--device", "COM42", "--model", "TQ21"});
    EXPECT_EQ(sim.Wait(kWaitMs), 1) << sim.Err();
    EXPECT_EQ(sim.Out(), "");
    const std::string lead = "transducer-sim: cannot open COM42: ";
    const std::string err = sim.Err();
    ASSERT_EQ(err.rfind(lead, 0), 0u) << err;
    // The system's reason follows, a sentence and not a bare number.
    EXPECT_NE(err.find_first_of("abcdefghijklmnopqrstuvwxyz", lead.size()), std::string::npos)
        << err;
}
