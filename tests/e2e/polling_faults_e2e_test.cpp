// SPDX-License-Identifier: MIT
// The polling controller of the programs, on the real POSIX serial device and the system
// clock, against transducer-sim as a separate process on a pseudo-terminal: a simulator that
// dies while it is polled, one that comes back under the same name, a port another program
// holds, a device the user may not open, and faults given on the simulator's command line.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "channel/serial_channel.h"
#include "e2e/sim_process.h"
#include "platform/posix/posix_serial_device.h"
#include "platform/posix/system_clock.h"
#include "polling/polling_controller.h"
#include "polling/polmira_variant.h"
#include "support/memory_file_system.h"
#include "support/recording_view.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kGoodEven = "Запрос данных ■";
constexpr const char* kGoodOdd = "Запрос данных ";

bool IsErrorText(const std::string& status) {
    return status.find("ошибка") != std::string::npos;
}

bool IsGoodText(const std::string& status) {
    return status == kGoodEven || status == kGoodOdd;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Polmira's controller as the program has it, with a recording window in real time.
struct RealProgram {
    explicit RealProgram(const std::string& portPath) {
        channel.portName = portPath;
        view.onTimer = [this] {
            controller.OnTimer(1);
            tickStatus.push_back(view.Text(ViewText::kStatusLine));
        };
        controller.OnInitDialog();
    }

    // The status texts of the ticks from `from` on, one letter each: G good, F failed.
    std::string TickTrace(size_t from = 0) const {
        std::string trace;
        for (size_t i = from; i < tickStatus.size(); ++i) {
            trace += IsErrorText(tickStatus[i]) ? 'F' : IsGoodText(tickStatus[i]) ? 'G' : '?';
        }
        return trace;
    }

    SystemClock clock;
    PosixSerialDevice port;
    SerialChannel channel{port, clock};
    RealTimeView view;
    MemoryFileSystem files;
    PollingController controller{PolmiraVariant(), view, channel, clock, files};
    std::vector<std::string> tickStatus;
};

}  // namespace

TEST(PollingFaultsE2e, SimulatorKilledWhilePollingThenBackUnderTheSameName) {
    const fs::path runtime = SimProcess::MakePrivateDirectory("simprog-e2e-run");
    auto sim = std::make_unique<SimProcess>(
        std::vector<std::string>{"--model", "TQ21", "--steady", "--name", "bench"}, runtime);
    ASSERT_FALSE(sim->PortPath().empty()) << sim->Stderr();
    const std::string portPath = sim->PortPath();

    RealProgram program(portPath);
    program.controller.OnStart();
    ASSERT_TRUE(program.view.timerArmed) << program.view.Text(ViewText::kStatusLine);
    program.view.RunFor(600);
    ASSERT_EQ(program.TickTrace(), "G");
    EXPECT_EQ(program.view.values[0], "230.0");

    // The far side of the pty goes: reads find nothing, writes fail.
    ASSERT_TRUE(sim->Process().Kill());
    ASSERT_EQ(sim->Process().Wait(5000), 128 + 9);
    const size_t killedAt = program.tickStatus.size();
    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    program.view.RunFor(2000);
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = WallSeconds() - wall0;
    RecordProperty("cpu_ms_while_the_port_is_dead", static_cast<int>(cpu * 1000));
    RecordProperty("wall_ms_while_the_port_is_dead", static_cast<int>(wall * 1000));
    const std::string killedTrace = program.TickTrace(killedAt);
    EXPECT_GE(killedTrace.size(), 3u);
    EXPECT_EQ(killedTrace, std::string(killedTrace.size(), 'F'));
    EXPECT_TRUE(program.view.timerArmed);
    EXPECT_TRUE(program.view.messages.empty());
    EXPECT_EQ(program.view.values[0], "230.0");  // the last values stay
    // Polling a dead port sleeps between its reads like a live one: far from a whole core.
    EXPECT_LT(cpu, 0.25 * wall) << cpu << " s of CPU in " << wall << " s";

    // Stop works on the dead port and ends the ticks.
    program.controller.OnStop();
    EXPECT_EQ(program.view.Text(ViewText::kStatusLine), "Ожидание");
    EXPECT_FALSE(program.view.timerArmed);
    EXPECT_FALSE(program.port.IsOpen());
    const size_t ticksAtStop = program.tickStatus.size();
    program.view.RunFor(600);
    EXPECT_EQ(program.tickStatus.size(), ticksAtStop);

    // The simulator comes back under the same published name (a new pty behind it); a Start
    // reads the configuration again and polls.
    sim = std::make_unique<SimProcess>(
        std::vector<std::string>{"--model", "TQ21", "--steady", "--name", "bench"}, runtime);
    ASSERT_EQ(sim->PortPath(), portPath) << sim->Stderr();
    program.view.statusHistory.clear();
    program.view.values.fill("");
    program.controller.OnStart();
    ASSERT_TRUE(program.view.timerArmed) << program.view.Text(ViewText::kStatusLine);
    const auto& history = program.view.statusHistory;
    EXPECT_NE(std::find(history.begin(), history.end(), "Чтение конфигурации прошло успешно"),
              history.end());
    const size_t restartedAt = program.tickStatus.size();
    program.view.RunFor(600);
    EXPECT_EQ(program.TickTrace(restartedAt), "G");
    EXPECT_EQ(program.view.values[0], "230.0");
    program.controller.OnStop();
    sim.reset();
    fs::remove_all(runtime);
}

TEST(PollingFaultsE2e, PortHeldByAnotherProgramIsRefused) {
    SimProcess sim({"--model", "TQ21", "--steady"});
    ASSERT_FALSE(sim.PortPath().empty()) << sim.Stderr();
    PosixSerialDevice other;
    ASSERT_TRUE(other.Open(sim.PortPath()));

    RealProgram program(sim.PortPath());
    program.controller.OnStart();
    const std::string message = "Не могу открыть " + sim.PortPath();
    ASSERT_EQ(program.view.messages.size(), 1u);
    EXPECT_EQ(program.view.messages[0].text, message + "\nПорт занят другой программой");
    EXPECT_EQ(program.view.messages[0].caption, "Ошибка");
    const auto& history = program.view.statusHistory;
    ASSERT_GE(history.size(), 2u);
    EXPECT_EQ(history[history.size() - 2], message);
    EXPECT_EQ(history.back(), "Ожидание");
    EXPECT_FALSE(program.view.timerArmed);
    EXPECT_EQ(program.port.LastOpenError(), EBUSY);

    // Once the other program lets go, the port opens.
    other.Close();
    EXPECT_TRUE(program.channel.OpenPort(sim.PortPath()));
    program.channel.ClosePort();
}

TEST(PollingFaultsE2e, DeviceWithoutPermissionIsRefused) {
    SimProcess sim({"--model", "TQ21", "--steady"});
    ASSERT_FALSE(sim.PortPath().empty()) << sim.Stderr();
    // The device itself, not the published link in the private runtime directory.
    const std::string device = fs::read_symlink(sim.PortPath()).string();
    ASSERT_EQ(chmod(device.c_str(), 0), 0);

    // Root may open any device: the program then runs as an ordinary user in a child process.
    const bool root = geteuid() == 0;
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        if (root && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        RealProgram program(device);
        program.controller.OnStart();
        std::string report = std::to_string(program.port.LastOpenError()) + "\n";
        for (const auto& m : program.view.messages) {
            report += m.caption + "|" + m.text + "\n";
        }
        report += program.view.timerArmed ? "polling\n" : "idle\n";
        const ssize_t written = write(pipeFds[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 4);
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[512];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(device.c_str(), 0620);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) {
        GTEST_SKIP() << "cannot drop root privileges to run as an ordinary user";
    }
    ASSERT_EQ(WEXITSTATUS(status), 0) << report;
    // Nobody's group may use a device of mode 0: no command is offered.
    EXPECT_EQ(report, std::to_string(EACCES) + "\nОшибка|Не могу открыть " + device +
                          "\nНет прав на порт\nidle\n");
}

TEST(PollingFaultsE2e, FaultsFromTheSimulatorsCommandLineFailTicksThenPollingRecovers) {
    // Requests 3 and 4 go unanswered; every answer takes 20 ms longer on its way.
    SimProcess sim(
        {"--model", "TQ21", "--steady", "--trace", "--fault", "silence@3+2", "--line-delay", "20"});
    ASSERT_FALSE(sim.PortPath().empty()) << sim.Stderr();
    RealProgram program(sim.PortPath());
    program.controller.OnStart();
    ASSERT_TRUE(program.view.timerArmed) << program.view.Text(ViewText::kStatusLine);
    program.view.RunFor(3100);
    // The first request went out with Start; ticks 3 and 4 collect for requests 3 and 4.
    EXPECT_EQ(program.TickTrace(), "GGFFGG");
    EXPECT_EQ(program.view.values[0], "230.0");
    program.controller.OnStop();
    ASSERT_EQ(sim.Stop(), 0);
    const std::string trace = sim.Stderr();
    EXPECT_NE(trace.find("fault silence on request 3"), std::string::npos) << trace;
    EXPECT_NE(trace.find("fault silence on request 4"), std::string::npos);
    EXPECT_EQ(trace.find("fault silence on request 5"), std::string::npos);
}
