// SPDX-License-Identifier: MIT
// A program's Win32 window on the system's own services under Wine (the COM port, the clock,
// files, the registry, the MS-DOS device names), in real time, against the Linux
// transducer-sim behind a test COM port (tests/win32/with_simulator_port.sh): the port list
// shows the port, Start wakes the transducer, reads its configuration and polls it, the values
// appear and the log fills, Stop lets go of the port; then the clock is set from the computer's
// and the program's own command runs: the transfer-delay measurement over IEC 60870-5-101 in
// the viewer, the RTC test in the metrology tool. Built once per program (WINDOW_E2E_CALVENA
// selects the metrology tool); E2E_MODEL names the simulator's model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/text_convert.h"
#include "catalogue/model_catalogue.h"
#include "channel/port_list.h"
#include "e2e_win32/win32_e2e_support.h"
#include "platform/platform_services.h"
#include "support/log_text.h"

#ifdef WINDOW_E2E_CALVENA
#include "app/calvena_window.h"
#include "polling/calvena_variant.h"
#else
#include "app/polmira_window.h"
#include "polling/polmira_variant.h"
#endif

namespace {

#ifdef WINDOW_E2E_CALVENA
const ProgramVariant& Variant() {
    return CalvenaVariant();
}
const WindowDescription& Window() {
    return CalvenaWindow();
}
constexpr const wchar_t* kLogName = L"calvena-e2e-";
// Over Modbus every poll reads the transducer's clock.
constexpr bool kShowsTransducerClock = true;
#else
const ProgramVariant& Variant() {
    return PolmiraVariant();
}
const WindowDescription& Window() {
    return PolmiraWindow();
}
constexpr const wchar_t* kLogName = L"polmira-e2e-";
// Over IEC 60870-5-101 the transducer's time comes with time-tagged data only, which the
// interrogation of this model does not bring.
constexpr bool kShowsTransducerClock = false;
#endif

// Start scans the line settings, reads the configuration and waits out the change-over (about
// 9 s); the first values follow within a few polls.
constexpr uint32_t kStartDeadlineMs = 30000;
constexpr uint32_t kPollDeadlineMs = 10000;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

int Id(ViewText role) {
    return Window().roles.IdOf(role).value_or(0);
}

// The window of the program on the system's services, the remembered port the simulator's; one
// for all the cases, which run in order as a user would go on.
class WindowOnSimulatorPort : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        // What went wrong reaches the log even when the run is ended for taking too long.
        std::setvbuf(stdout, nullptr, _IONBF, 0);
        port_ = Environment("BRENNO_SIM_PORT");
        if (port_.empty()) {
            return;
        }
        system_ = MakePlatformServices().release();
        // Both programs' runs remember their port under the same key: one at a time stores
        // its own and lets the window read it.
        const HANDLE remembering = CreateMutexW(nullptr, FALSE, L"Local\\brenno-e2e-port-key");
        WaitForSingleObject(remembering, 30000);
        system_->settings().Write(kPortSettingKey, port_);
        app_ = new CBrennoApp(Variant(), Window(),
                              {system_->device(), system_->clock(), system_->files(),
                               system_->settings(), system_->devices()});
        ReleaseMutex(remembering);
        CloseHandle(remembering);

        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        logFile_ = new std::wstring(std::wstring(temp) + kLogName +
                                    std::to_wstring(GetCurrentProcessId()) + L".txt");
        app_->dialog().SetSaveFileDialog([](HWND) { return *logFile_; });
        ShowWindow(app_->dialog().hwnd(), SW_SHOW);
    }
    static void TearDownTestSuite() {
        if (app_ != nullptr) {
            SendMessageW(app_->dialog().hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
            delete app_;
            delete system_;
            std::filesystem::remove(*logFile_);
            delete logFile_;
        }
        app_ = nullptr;
    }
    void SetUp() override {
        if (app_ == nullptr) {
            GTEST_SKIP() << "no simulator port (tests/win32/with_simulator_port.sh names one)";
        }
        watch_ = std::make_unique<DialogWatch>(Hwnd(), Id(ViewText::kStatusLine));
    }

    static CBrennoDlg& Dialog() { return app_->dialog(); }
    static HWND Hwnd() { return Dialog().hwnd(); }
    static HWND Control(int id) { return Dialog().Control(id); }
    static std::string Text(int id) { return WideToUtf8(WindowText(Control(id))); }
    static std::string Status() { return Text(Id(ViewText::kStatusLine)); }
    // A click as the mouse makes it: the command runs, with its waits, before it returns.
    static void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
    static bool Checked(int id) { return IsDlgButtonChecked(Hwnd(), id) == BST_CHECKED; }
    // Whether a value field shows a value (the configuration decides which fields do).
    static bool ValuesShown() {
        return std::any_of(kSlotControls.begin(), kSlotControls.end(),
                           [](const SlotControls& slot) { return Text(slot.valueId) != "-----"; });
    }

    // What the window shows, for a failure's message.
    std::string Screen() const {
        std::string text = "status \"" + Status() + "\", values";
        for (const SlotControls& slot : kSlotControls) {
            text += " \"" + Text(slot.valueId) + "\"";
        }
        text += ", transducer time \"" + Text(Id(ViewText::kTransducerTime)) + "\"";
        text += "; statuses seen:";
        for (const std::string& status : watch_->statuses()) {
            text += " \"" + status + "\"";
        }
        text += "; message boxes:";
        for (const std::string& box : watch_->boxes()) {
            text += " \"" + box + "\"";
        }
        return text;
    }
    // The window polls: values on screen and the status of a poll.
    bool Polls() const {
        return app_->controller().IsPolling() && ValuesShown() &&
               Status().starts_with("Запрос данных");
    }
    // Polls again after a command: the values are written anew.
    bool PollsAgain() {
        for (const SlotControls& slot : kSlotControls) {
            SetWindowTextW(Control(slot.valueId), L"-----");
        }
        return PumpUntil(
            Dialog(), [this] { return Polls(); }, kPollDeadlineMs);
    }
    void StartUnlessPolling() {
        if (!app_->controller().IsPolling()) {
            Click(Window().roles.startButton);
            ASSERT_TRUE(PumpUntil(
                Dialog(), [this] { return Polls(); }, kStartDeadlineMs))
                << Screen();
        }
    }
    std::vector<std::string> LogLines() const {
        return LinesOf(FileText(std::filesystem::path(*logFile_)));
    }
    // The clock-setting requests the simulator heard, as minutes of the day.
    static std::vector<int> ClockSettings() {
        std::vector<int> minutes;
        for (const auto& request : HeardRequests(Environment("BRENNO_SIM_TRACE"))) {
            if (const auto minute = ClockSetMinuteOfDay(request)) {
                minutes.push_back(*minute);
            }
        }
        return minutes;
    }

    static inline std::string port_;
    static inline PlatformServices* system_ = nullptr;
    static inline CBrennoApp* app_ = nullptr;
    static inline std::wstring* logFile_ = nullptr;
    std::unique_ptr<DialogWatch> watch_;
};

TEST_F(WindowOnSimulatorPort, StartPollsLogsAndStopLetsGoOfThePort) {
    const WindowRoles& roles = Window().roles;
    const std::vector<std::wstring> ports = ListItems(Control(roles.portList));
    EXPECT_NE(std::find(ports.begin(), ports.end(), Utf8ToWide(port_)), ports.end());
    EXPECT_EQ(WideToUtf8(SelectedItem(Control(roles.portList))), port_);
    EXPECT_EQ(Status(), "Ожидание");

    // "Записать в файл", the file named in the save-file dialog.
    const int writeToFile = roles.IdOf(ViewControl::kWriteToFile).value_or(0);
    Click(writeToFile);
    ASSERT_TRUE(Checked(writeToFile));
    const uint64_t started = GetTickCount64();
    Click(roles.startButton);
    ASSERT_TRUE(PumpUntil(
        Dialog(), [this] { return Polls(); }, kStartDeadlineMs))
        << Screen();
    std::printf("Start to the first value: %llu ms\n",
                static_cast<unsigned long long>(GetTickCount64() - started));
    EXPECT_TRUE(watch_->boxes().empty()) << Screen();
    EXPECT_EQ(Text(Id(ViewText::kModelName)).rfind(E2E_MODEL "-", 0), 0u) << Screen();
    EXPECT_FALSE(IsWindowEnabled(Control(roles.startButton)));
    EXPECT_NE(Text(Id(ViewText::kTransducerTime)), "00 : 00 : 0.00");

    // A row per poll cycle: a few of them.
    ASSERT_TRUE(PumpUntil(
        Dialog(), [this] { return LogLines().size() >= 6; }, kPollDeadlineMs))
        << Screen();
    std::printf("Start to three rows in the log: %llu ms\n",
                static_cast<unsigned long long>(GetTickCount64() - started));
    Click(roles.stopButton);
    EXPECT_FALSE(app_->controller().IsPolling());
    EXPECT_EQ(Status(), "Ожидание");
    EXPECT_TRUE(IsWindowEnabled(Control(roles.startButton)));
    EXPECT_FALSE(system_->device().IsOpen());

    // The log: the model line, a blank line, the column titles, then rows of numbers under
    // every column (after the time stamp).
    const std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind(E2E_MODEL "-", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2].rfind("time", 0), 0u) << lines[2];
    const size_t columns = CellsOf(lines[2]).size();
    EXPECT_GE(columns, 3u);
    for (size_t i = 3; i < lines.size(); ++i) {
        const std::vector<std::string> cells = CellsOf(lines[i]);
        ASSERT_EQ(cells.size(), columns) << lines[i];
        for (size_t c = 1; c < cells.size(); ++c) {
            EXPECT_TRUE(IsNumber(cells[c])) << "column " << c << " of \"" << lines[i] << "\"";
        }
    }
}

// The transducer keeps UTC and the computer's clock is read as local time (TZ puts it hours
// away): the simulator hears the computer's local hour and minute, polling goes on, and where
// the window shows the transducer's clock, it agrees with the computer's afterwards.
TEST_F(WindowOnSimulatorPort, ClockSynchronisationSetsTheTransducersClock) {
    const WindowRoles& roles = Window().roles;
    if (Checked(roles.IdOf(ViewControl::kWriteToFile).value_or(0))) {
        Click(roles.IdOf(ViewControl::kWriteToFile).value_or(0));
    }
    StartUnlessPolling();
    const auto timesApart = [] {
        const auto transducer = SecondsOfDay(Text(Id(ViewText::kTransducerTime)));
        const auto computer = SecondsOfDay(Text(Id(ViewText::kComputerTime)));
        return transducer && computer ? SecondsApart(*transducer, *computer) : 86400.0;
    };
    if (kShowsTransducerClock) {
        EXPECT_GT(timesApart(), 600.0) << "the transducer's clock was set already: " << Screen();
    }

    ASSERT_TRUE(IsWindowEnabled(Control(roles.syncButton))) << Screen();
    const uint64_t pressed = GetTickCount64();
    Click(roles.syncButton);
    std::printf("Synchronisation: %llu ms\n",
                static_cast<unsigned long long>(GetTickCount64() - pressed));
    EXPECT_TRUE(watch_->boxes().empty()) << Screen();
    EXPECT_TRUE(PollsAgain()) << Screen();
    if (kShowsTransducerClock) {
        EXPECT_TRUE(PumpUntil(
            Dialog(), [&] { return timesApart() < 3.0; }, kPollDeadlineMs))
            << Screen() << ", computer time \"" << Text(Id(ViewText::kComputerTime)) << "\"";
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::vector<int> heard = ClockSettings();
    ASSERT_EQ(heard.size(), 1u) << "clock-setting requests in the simulator's trace";
    const int minute = now.wHour * 60 + now.wMinute;
    EXPECT_LE((minute - heard[0] + 1440) % 1440, 1) << heard[0] << " against " << minute;
}

#ifdef WINDOW_E2E_CALVENA

// The RTC test mode: polling ends, the transducer confirms in a message box.
TEST_F(WindowOnSimulatorPort, RtcTestEndsPollingAndTheTransducerConfirms) {
    const WindowRoles& roles = Window().roles;
    StartUnlessPolling();
    ASSERT_TRUE(IsWindowEnabled(Control(roles.rtcTestButton))) << Screen();
    Click(roles.rtcTestButton);
    EXPECT_EQ(watch_->boxes(), std::vector<std::string>{"RTC test: Запущен режим проверки RTC"})
        << Screen();
    EXPECT_FALSE(app_->controller().IsPolling());
    EXPECT_EQ(Status(), "Ожидание");
    EXPECT_FALSE(IsWindowEnabled(Control(roles.rtcTestButton)));
    EXPECT_FALSE(system_->device().IsOpen());
}

#else

// The line's transfer delay over IEC 60870-5-101: a few milliseconds on a pseudo-terminal,
// shown beside the button; polling goes on.
TEST_F(WindowOnSimulatorPort, TransferDelayIsMeasuredAndShown) {
    const WindowRoles& roles = Window().roles;
    StartUnlessPolling();
    EXPECT_EQ(Text(Id(ViewText::kDelayResult)), "0, ms");
    ASSERT_TRUE(IsWindowEnabled(Control(roles.delayButton))) << Screen();
    Click(roles.delayButton);
    EXPECT_TRUE(watch_->boxes().empty()) << Screen();
    const std::string delay = Text(Id(ViewText::kDelayResult));
    ASSERT_TRUE(delay.ends_with(" ms") && delay.size() > 3) << delay;
    const std::string number = delay.substr(0, delay.size() - 3);
    EXPECT_TRUE(number.find_first_not_of("0123456789") == std::string::npos && number != "0")
        << delay;
    EXPECT_TRUE(PollsAgain()) << Screen();
    Click(roles.stopButton);
    EXPECT_FALSE(system_->device().IsOpen());
}

#endif

}  // namespace
