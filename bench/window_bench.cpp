// SPDX-License-Identifier: MIT
// A program's real window on the real platform (serial device, clock, files) against
// transducer-sim on a pseudo-terminal, in real time: the user's Start with the save-file dialog
// filled in, then polling for a measuring window. Optionally mbpoll polls a second simulator of
// the same model (as Modbus RTU at its own line settings) for the same registers at the same
// period, over the same window. Prints "RESULT key value" lines for scripts/bench.sh.
// Built once per program (BENCH_CALVENA selects the metrology tool).
//
//   bench_window_polmira --label NAME --model KEY --period MS --window S [--mbpoll PATH]
//                        [--hidden]
//   bench_window_polmira --busy-reference S
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/qt/brenno_app.h"
#include "bench/process_stats.h"
#include "channel/line_mode.h"
#include "channel/port_list.h"
#include "channel/transducer_access.h"
#include "e2e/sim_process.h"
#include "platform/posix/child_process.h"
#include "platform/posix/posix_device_names.h"
#include "platform/posix/posix_serial_device.h"
#include "platform/posix/system_clock.h"
#include "support/stand_in_platform.h"

#ifdef BENCH_CALVENA
#include "app/calvena_window.h"
#include "polling/calvena_variant.h"
namespace {
const ProgramVariant& Variant() {
    return CalvenaVariant();
}
const WindowDescription& Window() {
    return CalvenaWindow();
}
constexpr int kStatusLine = 1031;
constexpr int kFirstValue = 1018;
}  // namespace
#else
#include "app/qt/input_address_dlg.h"
#include "app/polmira_window.h"
#include "polling/polmira_variant.h"
namespace {
const ProgramVariant& Variant() {
    return PolmiraVariant();
}
const WindowDescription& Window() {
    return PolmiraWindow();
}
constexpr int kStatusLine = 1042;
constexpr int kFirstValue = 1011;
}  // namespace
#endif

namespace {

constexpr int kStartButton = 1001;
constexpr int kStopButton = 1016;
constexpr int kWriteToFile = 1024;
constexpr int kPeriodField = 1023;

void Result(const std::string& label, const std::string& key, double value) {
    std::printf("RESULT %s.%s %.6g\n", label.c_str(), key.c_str(), value);
    std::fflush(stdout);
}

double UsToMs(uint64_t us) {
    return static_cast<double>(us) / 1e3;
}
double NsToMs(uint64_t ns) {
    return static_cast<double>(ns) / 1e6;
}

// Lets the window's events run for the given time (the thread sleeps in the event loop).
void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The Modbus function of a request as written: RTU (address, function, ...) or ASCII
// (":AAFF...").
int FunctionOf(const uint8_t* data, size_t count) {
    if (count >= 5 && data[0] == ':') {
        return std::stoi(std::string(reinterpret_cast<const char*>(data) + 3, 2), nullptr, 16);
    }
    return count >= 2 ? data[1] : -1;
}

// The real serial device, with the moments that matter noted: each open and close, each write
// with its function, and the first look at the line after each write (the end of the wait
// that followed it). Each note carries the wall clock and this process's CPU time.
class RecordingDevice : public SerialDevice {
  public:
    enum class Kind { kOpen, kClose, kWrite, kFirstQuery };
    struct Note {
        Kind kind;
        int function = -1;
        uint64_t wallUs = 0;
        uint64_t cpuNs = 0;
    };

    std::vector<Note> notes;
    bool noting = true;
    uint64_t pollWrites = 0;

    bool Open(const std::string& name) override {
        Take(Kind::kOpen);
        return device_.Open(name);
    }
    void Close() override {
        if (device_.IsOpen()) {
            Take(Kind::kClose);
        }
        device_.Close();
    }
    bool IsOpen() const override { return device_.IsOpen(); }
    bool GetLine(LineSettings& s) override { return device_.GetLine(s); }
    bool SetLine(const LineSettings& s) override { return device_.SetLine(s); }
    size_t QueuedCount() override {
        if (queryPending_) {
            queryPending_ = false;
            Take(Kind::kFirstQuery);
        }
        return device_.QueuedCount();
    }
    size_t Read(uint8_t* buffer, size_t maxCount) override {
        return device_.Read(buffer, maxCount);
    }
    bool Write(const uint8_t* data, size_t count) override {
        const int function = FunctionOf(data, count);
        if (function == 4) {
            ++pollWrites;
        }
        Take(Kind::kWrite, function);
        queryPending_ = true;
        return device_.Write(data, count);
    }
    bool WaitTransmitEmpty(uint32_t timeoutMs) override {
        return device_.WaitTransmitEmpty(timeoutMs);
    }

    // The first note of the kind (and function) at or after index from; notes.size() if none.
    size_t Find(Kind kind, size_t from = 0, int function = -1) const {
        for (size_t i = from; i < notes.size(); ++i) {
            if (notes[i].kind == kind && (function < 0 || notes[i].function == function)) {
                return i;
            }
        }
        return notes.size();
    }

  private:
    void Take(Kind kind, int function = -1) {
        if (noting) {
            notes.push_back({kind, function, WallUs(), SelfCpuNs()});
        }
    }

    PosixSerialDevice device_;
    bool queryPending_ = false;
};

struct Options {
    std::string label = "run";
    std::string model = "TQ21";
    uint32_t periodMs = 500;
    double windowS = 20;
    std::string mbpoll;
    double busyReferenceS = 0;
    bool hidden = false;  // the window is not shown: nothing is painted
};

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--hidden") {
            o.hidden = true;
            --i;
            continue;
        }
        if (i + 1 >= argc) {
            return std::nullopt;
        }
        const std::string value = argv[i + 1];
        if (key == "--label") {
            o.label = value;
        } else if (key == "--model") {
            o.model = value;
        } else if (key == "--period") {
            o.periodMs = static_cast<uint32_t>(std::stoul(value));
        } else if (key == "--window") {
            o.windowS = std::stod(value);
        } else if (key == "--mbpoll") {
            o.mbpoll = value;
        } else if (key == "--busy-reference") {
            o.busyReferenceS = std::stod(value);
        } else {
            return std::nullopt;
        }
    }
    return o;
}

size_t CountTraceRequests(const SimProcess& sim) {
    // --trace notes every request heard as a line with "<-".
    const std::string text = sim.Stderr();
    size_t count = 0;
    for (size_t at = text.find(" <- "); at != std::string::npos; at = text.find(" <- ", at + 4)) {
        ++count;
    }
    return count;
}

// mbpoll reading the registers of the first poll group at the transducer's own line (a pty takes
// no parity from libmodbus' tcsetattr, and the simulator judges only the rate there).
class MbpollProcess {
  public:
    bool Start(const std::string& program, const std::string& port, const TransducerConfig& c,
               const PollGroup& group, uint32_t periodMs) {
        const LineSettings line =
            ParseModeString(ModeStringFromLinkSettingsByte(c.linkSettingsByte), LineSettings{});
        std::ostringstream command;
        command << "exec " << program << " -m rtu -a " << c.linkAddress << " -0 -r "
                << group.startAddress << " -c " << int{group.registerCount} << " -t 3 -b "
                << line.baudRate << " -d 8 -P none -s "
                << (line.stopBits == LineSettings::kTwoStopBits ? 2 : 1) << " -l " << periodMs
                << " -o 1 " << port << " >/dev/null 2>&1";
        commandLine_ = command.str();
        return process_.Start("/bin/sh", {"-c", commandLine_});
    }
    uint64_t CpuNs() const { return ProcessCpuNs(process_.Pid()); }
    bool Running() { return process_.Running(); }
    void Stop() {
        process_.Interrupt();
        process_.Wait(3000);
    }
    const std::string& CommandLine() const { return commandLine_; }

  private:
    ChildProcess process_;
    std::string commandLine_;
};

class WindowBench {
  public:
    explicit WindowBench(const Options& options) : o_(options) {}

    int RunPolling();
    int RunBusyReference();

  private:
    bool StartSim(std::optional<SimProcess>& sim, const std::vector<std::string>& extra,
                  const std::string& name);

    Options o_;
};

bool WindowBench::StartSim(std::optional<SimProcess>& sim, const std::vector<std::string>& extra,
                           const std::string& name) {
    std::vector<std::string> arguments = {"--model", o_.model, "--name", name};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    sim.emplace(arguments);
    if (sim->PortPath().empty()) {
        std::fprintf(stderr, "window bench: the simulator did not start: %s\n",
                     sim->Stderr().c_str());
        return false;
    }
    return true;
}

int WindowBench::RunPolling() {
    const std::string& L = o_.label;
    std::optional<SimProcess> sim;
    if (!StartSim(sim, {}, "bench-a")) {
        return 1;
    }
    const std::filesystem::path files = SimProcess::MakePrivateDirectory("window-bench");

    RecordingDevice device;
    SystemClock clock;
    StdFileSystem fileSystem;
    MemorySettingsStore settings;
    settings.values[kPortSettingKey] = "bench-a";
    PosixDeviceNames devices("/sys/class/tty", (sim->RuntimeDir() / "transducer-sim").string());
    CBrennoApp app(Variant(), Window(), {device, clock, fileSystem, settings, devices});
#ifndef BENCH_CALVENA
    app.dialog().SetParameterDialog(&CInputAddress::Choose);
#endif
    CBrennoDlg& dialog = app.dialog();
    if (!o_.hidden) {
        dialog.show();
    }
    RunEventsFor(300);

    auto* period = qobject_cast<QLineEdit*>(dialog.Control(kPeriodField));
    period->setText(QString::number(o_.periodMs));
    qobject_cast<QAbstractButton*>(dialog.Control(kWriteToFile))->setChecked(true);

    // Status texts as the ticks set them: "■" alternates, so each tick changes the text.
    auto* status = qobject_cast<QLineEdit*>(dialog.Control(kStatusLine));
    uint64_t goodTicks = 0;
    uint64_t failedTicks = 0;
    uint64_t startEndUs = 0;
    QObject::connect(status, &QLineEdit::textChanged, [&](const QString& text) {
        if (text == "Запрос данных" && startEndUs == 0) {
            startEndUs = WallUs();
        } else if (text.startsWith("Запрос данных - ошибка")) {
            ++failedTicks;
        } else if (text.startsWith("Запрос данных")) {
            ++goodTicks;
        }
    });
    auto* firstValue = qobject_cast<QLineEdit*>(dialog.Control(kFirstValue));
    uint64_t firstValueUs = 0;
    QObject::connect(firstValue, &QLineEdit::textChanged, [&](const QString& text) {
        if (firstValueUs == 0 && text != "-----") {
            firstValueUs = WallUs();
        }
    });

    // The save-file dialog: the log's name typed in and accepted, as a user would.
    const std::filesystem::path log = files / "measurements";
    QTimer fileDialogHand;
    QObject::connect(&fileDialogHand, &QTimer::timeout, [&] {
        auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (fileDialog == nullptr || !fileDialog->isVisible()) {
            return;
        }
        if (auto* name = fileDialog->findChild<QLineEdit*>("fileNameEdit")) {
            name->setText(QString::fromStdString(log.string()));
            QMetaObject::invokeMethod(fileDialog, "accept");
        }
    });
    fileDialogHand.start(50);

    const uint64_t clickUs = WallUs();
    const uint64_t clickCpu = SelfCpuNs();
    qobject_cast<QAbstractButton*>(dialog.Control(kStartButton))->click();
    const uint64_t startReturnUs = WallUs();
    const uint64_t startReturnCpu = SelfCpuNs();
    fileDialogHand.stop();
    if (!app.controller().IsPolling()) {
        std::fprintf(stderr, "window bench: Start did not reach polling (status \"%s\")\n",
                     status->text().toStdString().c_str());
        return 1;
    }
    device.noting = false;

    // The Start's moments, from the device's notes.
    using Kind = RecordingDevice::Kind;
    const auto& n = device.notes;
    const size_t open = device.Find(Kind::kOpen);
    const size_t configRequest = device.Find(Kind::kWrite, open, kFunctionReadConfiguration);
    const size_t configCollect = device.Find(Kind::kFirstQuery, configRequest);
    const size_t endConfig = device.Find(Kind::kWrite, configCollect, kFunctionEndConfiguration);
    const size_t changeOverClose = device.Find(Kind::kClose, endConfig);
    const size_t reopen = device.Find(Kind::kOpen, changeOverClose);
    if (reopen >= n.size()) {
        std::fprintf(stderr, "window bench: the Start's exchanges were not all seen\n");
        return 1;
    }
    auto wallMs = [&](size_t a, size_t b) { return UsToMs(n[b].wallUs - n[a].wallUs); };
    auto cpuMs = [&](size_t a, size_t b) { return NsToMs(n[b].cpuNs - n[a].cpuNs); };
    Result(L, "start_wall_ms", UsToMs(startReturnUs - clickUs));
    Result(L, "start_cpu_ms", NsToMs(startReturnCpu - clickCpu));
    Result(L, "dialog_ms", UsToMs(n[open].wallUs - clickUs));
    Result(L, "open_to_config_request_ms", wallMs(open, configRequest));
    Result(L, "scan_cpu_ms", cpuMs(open, configRequest));
    // The pumped waits: after the configuration request, and the five seconds of the
    // change-over from the port's close to its reopening.
    const double waitsWall = wallMs(configRequest, configCollect) + wallMs(changeOverClose, reopen);
    const double waitsCpu = cpuMs(configRequest, configCollect) + cpuMs(changeOverClose, reopen);
    Result(L, "waits_wall_ms", waitsWall);
    Result(L, "waits_cpu_ms", waitsCpu);

    // The first value, and a moment for the line to settle.
    QEventLoop waitFirst;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (firstValueUs != 0) {
            waitFirst.quit();
        }
    });
    poll.start(20);
    QTimer::singleShot(10'000, &waitFirst, &QEventLoop::quit);
    waitFirst.exec();
    poll.stop();
    if (firstValueUs == 0) {
        std::fprintf(stderr, "window bench: no value within 10 s of the Start\n");
        return 1;
    }
    Result(L, "open_to_first_value_ms", UsToMs(firstValueUs - n[open].wallUs));
    Result(L, "start_end_to_first_value_ms", UsToMs(firstValueUs - startEndUs));

    // mbpoll on a second simulator, for the same registers at the same period.
    std::optional<SimProcess> peerSim;
    MbpollProcess mbpoll;
    if (!o_.mbpoll.empty()) {
        if (!StartSim(peerSim, {"--mode", "0", "--trace"}, "bench-b")) {
            return 1;
        }
        const PollPlan& plan = app.controller().pollPlan();
        if (!mbpoll.Start(o_.mbpoll, peerSim->PortPath(), app.controller().config(),
                          plan.pollGroups[0], o_.periodMs)) {
            std::fprintf(stderr, "window bench: mbpoll did not start\n");
            return 1;
        }
        std::printf("MBPOLL %s\n", mbpoll.CommandLine().c_str());
    }
    RunEventsFor(2000);
    if (!o_.mbpoll.empty() && !mbpoll.Running()) {
        std::fprintf(stderr, "window bench: mbpoll ended early\n");
        return 1;
    }

    // The measuring window.
    const uint64_t good0 = goodTicks;
    const uint64_t failed0 = failedTicks;
    const uint64_t writes0 = device.pollWrites;
    const size_t peerRequests0 = peerSim ? CountTraceRequests(*peerSim) : 0;
    const uint64_t mbpollCpu0 = o_.mbpoll.empty() ? 0 : mbpoll.CpuNs();
    const uint64_t cpu0 = SelfCpuNs();
    const uint64_t wall0 = WallUs();
    RunEventsFor(static_cast<int>(o_.windowS * 1000));
    const uint64_t wall1 = WallUs();
    const uint64_t cpu1 = SelfCpuNs();
    const uint64_t mbpollCpu1 = o_.mbpoll.empty() ? 0 : mbpoll.CpuNs();
    const size_t peerRequests1 = peerSim ? CountTraceRequests(*peerSim) : 0;
    const double windowS = UsToMs(wall1 - wall0) / 1e3;
    Result(L, "window_s", windowS);
    Result(L, "cpu_ms", NsToMs(cpu1 - cpu0));
    Result(L, "good_ticks", static_cast<double>(goodTicks - good0));
    Result(L, "failed_ticks", static_cast<double>(failedTicks - failed0));
    Result(L, "requests", static_cast<double>(device.pollWrites - writes0));
    if (!o_.mbpoll.empty()) {
        Result(L, "mbpoll_cpu_ms", NsToMs(mbpollCpu1 - mbpollCpu0));
        Result(L, "mbpoll_requests", static_cast<double>(peerRequests1 - peerRequests0));
        mbpoll.Stop();
    }
    Result(L, "peak_rss_kb", static_cast<double>(SelfPeakRssKb()));

    qobject_cast<QAbstractButton*>(dialog.Control(kStopButton))->click();
    dialog.close();
    std::error_code ignored;
    std::filesystem::remove_all(files, ignored);
    return 0;
}

// The window's own PumpMessagesFor against the naive one (a loop that dispatches pending events
// and looks at the clock until the time is up), each for the same time on the idle window.
int WindowBench::RunBusyReference() {
    PosixSerialDevice device;
    SystemClock clock;
    StdFileSystem fileSystem;
    MemorySettingsStore settings;
    StandInDevices devices;
    CBrennoApp app(Variant(), Window(), {device, clock, fileSystem, settings, devices});
    CBrennoDlg& dialog = app.dialog();
    dialog.show();
    RunEventsFor(300);
    const auto ms = static_cast<uint32_t>(o_.busyReferenceS * 1000);

    uint64_t wall0 = WallUs();
    uint64_t cpu0 = SelfCpuNs();
    dialog.PumpMessagesFor(ms);
    Result("pump", "wall_ms", UsToMs(WallUs() - wall0));
    Result("pump", "cpu_ms", NsToMs(SelfCpuNs() - cpu0));

    wall0 = WallUs();
    cpu0 = SelfCpuNs();
    const uint32_t begin = clock.TickCount();
    while (clock.TickCount() - begin < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    Result("busy", "wall_ms", UsToMs(WallUs() - wall0));
    Result("busy", "cpu_ms", NsToMs(SelfCpuNs() - cpu0));
    dialog.close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: %s --label NAME --model KEY --period MS --window S [--mbpoll PATH]"
                     " [--hidden]\n"
                     "       %s --busy-reference S\n",
                     argv[0], argv[0]);
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    WindowBench bench(*options);
    return options->busyReferenceS > 0 ? bench.RunBusyReference() : bench.RunPolling();
}
