// SPDX-License-Identifier: MIT
// The line monitor's window under Wine: its rows over a Start on the simulated transducer in
// virtual time (wake-up to polling, over Modbus RTU and IEC 60870-5-101), Pause, Clear, Copy and
// Save, and on a recorder of its own the list limit, the rows decoded only when shown, the
// view kept while the user looks elsewhere and the failed rows' colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app/polmira_window.h"
#include "app/win32/line_monitor_dlg.h"
#include "catalogue/transducer_config.h"
#include "channel/port_list.h"
#include "channel/serial_channel.h"
#include "channel/traffic_recorder.h"
#include "gui_win32/win32_gui_support.h"
#include "monitor/frame_decoding.h"
#include "polling/polmira_variant.h"
#include "sim/simulated_transducer.h"
#include "sim/transducer_profiles.h"

namespace {

// The monitor's window as the user sees it.
struct MonitorView {
    HWND hwnd;

    HWND Item(int id) const { return GetDlgItem(hwnd, id); }
    HWND List() const { return Item(CLineMonitorDlg::kFrameList); }
    int Count() const { return static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }
    // A cell as the list shows it: the virtual list asks the window for it.
    std::string Cell(int row, int column) const {
        wchar_t text[512] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 512;
        SendMessageW(List(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        return WideToUtf8(text);
    }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> cells;
        for (int row = 0; row < Count(); ++row) {
            cells.push_back(Cell(row, column));
        }
        return cells;
    }
    std::string Text(int id) const { return WideToUtf8(WindowText(Item(id))); }
    void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
    void Select(int row, bool selected) const {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED;
        state.state = selected ? LVIS_SELECTED : 0;
        SendMessageW(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&state));
    }
    int Top() const { return static_cast<int>(SendMessageW(List(), LVM_GETTOPINDEX, 0, 0)); }
    bool LastRowInView() const {
        const auto perPage = SendMessageW(List(), LVM_GETCOUNTPERPAGE, 0, 0);
        return Top() + perPage >= Count();
    }
};

std::string ClipboardText(HWND owner) {
    std::string text;
    if (!OpenClipboard(owner)) {
        return text;
    }
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = WideToUtf8(wide);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// How the simulated TQ21 is set up: the exchange mode, and what the polling rows say.
struct LineCase {
    const char* name;
    uint8_t exchangeMode;
    const char* pollingProtocol;
};

const LineCase kLineCases[] = {
    {"ModbusRtu", 0, "Modbus RTU"},
    {"Iec101", 1, "FT1.2"},
};

// Polmira with the monitor open, started on the simulated transducer and polling.
class MonitorOverStart : public testing::TestWithParam<LineCase> {
  protected:
    void SetUp() override {
        w.devices.ttys = {StandInDevices::Usb("ttyUSB0")};
        w.settings.values[kPortSettingKey] = "ttyUSB0";
        w.Open(PolmiraVariant(), PolmiraWindow());
        profile = *FindProfile("TQ21");
        profile.config.ExchangeMode = ExchangeModeOf(GetParam().exchangeMode);
        RebuildProfileConfig(profile);
        for (SimParameter& parameter : profile.parameters) {
            parameter.amplitude = 0;
        }
        transducer = std::make_unique<SimulatedTransducer>(profile, w.clock);
        peer = std::make_unique<SimulatedTransducerPeer>(*transducer, w.line);

        SendMessageW(w.Dialog().hwnd(), WM_SYSCOMMAND, kMonitorCommand, 0);
        ASSERT_TRUE(Monitor().IsOpen());
        view.hwnd = Monitor().hwnd();
        WhenDialogOpens(L"Ошибка", nullptr, [this](HWND box) {
            startError = StaticTexts(box);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        w.Click(1001);  // the whole Start in virtual time
        StopWaitingForDialog();
        ASSERT_EQ(startError, std::vector<std::string>{});
        ASSERT_TRUE(w.app->controller().IsPolling());
        w.Dialog().PumpMessagesFor(1010);  // two ticks
        Monitor().Refresh();
    }
    CLineMonitorDlg& Monitor() { return *w.Dialog().monitor(); }
    TrafficRecorder& Recorder() { return w.app->channel().Traffic(); }

    WindowUnderTest w;
    SimProfile profile;
    std::unique_ptr<SimulatedTransducer> transducer;
    std::unique_ptr<SimulatedTransducerPeer> peer;
    std::vector<std::string> startError;
    MonitorView view{};
};

TEST_P(MonitorOverStart, ShowsTheFramesFromTheWakeUpToPollingAndTheStatistics) {
    ASSERT_GT(view.Count(), 0);
    EXPECT_EQ(static_cast<uint64_t>(view.Count()), Recorder().CompleteEnd());
    EXPECT_TRUE(Contains(view.Cell(0, 3), "Пробуждение")) << view.Cell(0, 3);
    EXPECT_EQ(view.Cell(0, 1), "→");
    const std::vector<std::string> decoded = view.Column(3);
    const std::vector<std::string> directions = view.Column(1);
    EXPECT_TRUE(std::any_of(decoded.begin(), decoded.end(), [](const std::string& d) {
        return Contains(d, GetParam().pollingProtocol);
    }));
    EXPECT_NE(std::find(directions.begin(), directions.end(), "←"), directions.end());
    // The newest frame is the last row, in view, with its time of day and its bytes.
    const int last = view.Count() - 1;
    EXPECT_TRUE(view.LastRowInView());
    const TrafficFrame frame = Recorder().Frame(Recorder().CompleteEnd() - 1);
    const FrameRow row = MakeFrameRow(frame, Recorder().LocalMsAtZero());
    EXPECT_EQ(view.Cell(last, 0), row.time);
    EXPECT_EQ(view.Cell(last, 2), row.hex);
    EXPECT_EQ(view.Cell(last, 3), row.decoded);

    const std::string statistics = view.Text(CLineMonitorDlg::kStatistics);
    EXPECT_EQ(statistics.rfind("Запросов: ", 0), 0u) << statistics;
    EXPECT_FALSE(Contains(statistics, "Запросов: 0,")) << statistics;
    EXPECT_TRUE(Contains(statistics, "\r\nОпросов в секунду: ")) << statistics;
    // The main window polls on as it would without the monitor.
    EXPECT_EQ(w.Text(1042).rfind("Запрос данных", 0), 0u) << w.Text(1042);
}

TEST_P(MonitorOverStart, PauseHoldsTheListWhileTheRecorderGoesOn) {
    const int before = view.Count();
    const std::string statistics = view.Text(CLineMonitorDlg::kStatistics);
    const uint64_t recorded = Recorder().CompleteEnd();
    view.Click(CLineMonitorDlg::kPauseButton);
    EXPECT_TRUE(Monitor().Paused());
    EXPECT_EQ(view.Text(CLineMonitorDlg::kPauseButton), "Продолжить");
    w.Dialog().PumpMessagesFor(1000);
    Monitor().Refresh();
    EXPECT_GT(Recorder().CompleteEnd(), recorded);
    EXPECT_EQ(view.Count(), before);
    EXPECT_EQ(view.Text(CLineMonitorDlg::kStatistics), statistics);

    view.Click(CLineMonitorDlg::kPauseButton);  // goes on at once
    EXPECT_FALSE(Monitor().Paused());
    EXPECT_EQ(view.Text(CLineMonitorDlg::kPauseButton), "Пауза");
    EXPECT_EQ(static_cast<uint64_t>(view.Count()), Recorder().CompleteEnd());
    EXPECT_NE(view.Text(CLineMonitorDlg::kStatistics), statistics);
}

TEST_P(MonitorOverStart, ClearEmptiesTheListAndTheRecorder) {
    view.Click(CLineMonitorDlg::kClearButton);
    EXPECT_EQ(view.Count(), 0);
    EXPECT_EQ(Recorder().FirstSequence(), Recorder().EndSequence());
    EXPECT_EQ(Recorder().Statistics().requests, 0u);
    EXPECT_EQ(view.Text(CLineMonitorDlg::kStatistics).rfind("Запросов: 0,", 0), 0u);
    // Polling goes on; its frames come in again, the polling kind only.
    w.Dialog().PumpMessagesFor(1000);
    Monitor().Refresh();
    ASSERT_GT(view.Count(), 0);
    for (const std::string& decoded : view.Column(3)) {
        EXPECT_FALSE(Contains(decoded, "Пробуждение")) << decoded;
    }
}

TEST_P(MonitorOverStart, CopyPutsTheSelectedOrAllRowsOnTheClipboard) {
    view.Click(CLineMonitorDlg::kCopyButton);  // nothing selected: every row shown
    std::vector<std::string> lines = SplitLines(ClipboardText(view.hwnd));
    ASSERT_EQ(lines.size(), static_cast<size_t>(view.Count()));
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string expected =
            view.Cell(static_cast<int>(i), 0) + "\t" + view.Cell(static_cast<int>(i), 1) + "\t" +
            view.Cell(static_cast<int>(i), 2) + "\t" + view.Cell(static_cast<int>(i), 3);
        EXPECT_EQ(lines[i].rfind(expected, 0), 0u) << lines[i];
    }

    const int last = view.Count() - 1;
    view.Select(1, true);
    view.Select(last, true);
    view.Click(CLineMonitorDlg::kCopyButton);
    lines = SplitLines(ClipboardText(view.hwnd));
    const uint64_t first = Monitor().ShownFirst();
    const int64_t zero = Recorder().LocalMsAtZero();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         FrameRowLine(MakeFrameRow(Recorder().Frame(first + 1), zero)),
                         FrameRowLine(MakeFrameRow(Recorder().Frame(first + last), zero))}));
}

TEST_P(MonitorOverStart, SaveWritesAPcapngCaptureOrSaysItCannot) {
    int dialogs = 0;
    Monitor().SetSaveFileDialog([&](HWND owner) {
        ++dialogs;
        EXPECT_EQ(owner, view.hwnd);
        return std::wstring(L"C:\\захват.pcapng");
    });
    view.Click(CLineMonitorDlg::kSaveButton);
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(w.files.files.count("C:\\захват.pcapng"), 1u);
    const std::string& capture = w.files.files.at("C:\\захват.pcapng");
    ASSERT_GE(capture.size(), 4u);
    EXPECT_EQ(capture.substr(0, 4), std::string("\x0A\x0D\x0D\x0A", 4));

    // A file that cannot be made: a message box, the list as it was.
    w.files.uncreatable.insert("C:\\захват.pcapng");
    std::vector<std::string> shown;
    WhenDialogOpens(L"Ошибка", nullptr, [&](HWND box) {
        shown = StaticTexts(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    view.Click(CLineMonitorDlg::kSaveButton);
    StopWaitingForDialog();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().rfind(kMonitorSaveFailed, 0), 0u) << shown.back();

    // Cancelled: nothing written.
    Monitor().SetSaveFileDialog([](HWND) { return std::nullopt; });
    const size_t files = w.files.files.size();
    view.Click(CLineMonitorDlg::kSaveButton);
    EXPECT_EQ(w.files.files.size(), files);
}

TEST_P(MonitorOverStart, SavePressedDuringAWaitOpensItsDialogAfterIt) {
    // A modal dialog inside a tick's or a Start's wait would hold the exchange up.
    int dialogs = 0;
    Monitor().SetSaveFileDialog([&](HWND) {
        ++dialogs;
        return std::nullopt;
    });
    PostMessageW(view.Item(CLineMonitorDlg::kSaveButton), BM_CLICK, 0, 0);
    w.Dialog().PumpMessagesFor(100);  // the click arrives inside the wait
    EXPECT_EQ(dialogs, 0);
    Monitor().Refresh();  // the next refresh outside the wait
    EXPECT_EQ(dialogs, 1);
    Monitor().Refresh();
    EXPECT_EQ(dialogs, 1);
}

INSTANTIATE_TEST_SUITE_P(Lines, MonitorOverStart, testing::ValuesIn(kLineCases),
                         [](const auto& c) { return std::string(c.param.name); });

// The monitor over a recorder filled by the test.
class MonitorOfRecorder : public testing::Test {
  protected:
    void SetUp() override {
        recorder.SetKind(FrameKind::kModbusRtu);
        recorder.SetPhase(TrafficPhase::kPolling);
        monitor.Open(nullptr);
        ASSERT_TRUE(monitor.IsOpen());
        view.hwnd = monitor.hwnd();
    }
    void TearDown() override { monitor.Close(); }
    // One poll: the request and its answer, checked with the given result.
    void Poll(const std::vector<uint8_t>& answer, uint8_t result) {
        const std::vector<uint8_t> request = {0x01, 0x03, 0x01, 0x00, 0x00, 0x02, 0xC5, 0xF7};
        recorder.RecordWrite(request);
        clock.AdvanceToUs(clock.NowUs() + 10'000);
        recorder.RecordRead(answer);
        recorder.EndAnswer(result);
        clock.AdvanceToUs(clock.NowUs() + 40'000);
    }
    void Polls(int count) {
        for (int i = 0; i < count; ++i) {
            Poll({0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x32}, 0);
        }
    }
    // Paints the list now: the rows in view are asked for.
    void Paint() { RedrawWindow(view.List(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }

    static constexpr size_t kLimit = 60;
    VirtualClock clock;
    TrafficRecorder recorder{clock};
    MemoryFileSystem files;
    CLineMonitorDlg monitor{recorder, files, "test", kLimit};
    MonitorView view{};
};

TEST_F(MonitorOfRecorder, ShowsTheNewestUpToItsLimitAndDecodesOnlyTheRowsInView) {
    Polls(200);
    monitor.Refresh();
    Paint();
    EXPECT_EQ(view.Count(), static_cast<int>(kLimit));
    EXPECT_EQ(monitor.ShownFirst(), recorder.CompleteEnd() - kLimit);
    EXPECT_TRUE(view.LastRowInView());
    const auto perPage =
        static_cast<uint64_t>(SendMessageW(view.List(), LVM_GETCOUNTPERPAGE, 0, 0));
    ASSERT_GT(perPage, 0u);
    ASSERT_LT(perPage, kLimit);
    EXPECT_LE(monitor.RowsDecoded(), perPage + 2);

    // Ten more frames: the new ones in view are decoded, the old ones come from the cache.
    const uint64_t decoded = monitor.RowsDecoded();
    Polls(5);
    monitor.Refresh();
    Paint();
    EXPECT_EQ(view.Count(), static_cast<int>(kLimit));
    EXPECT_TRUE(view.LastRowInView());
    EXPECT_LE(monitor.RowsDecoded() - decoded, 10u + 2);
    const FrameRow newest =
        MakeFrameRow(recorder.Frame(recorder.CompleteEnd() - 1), recorder.LocalMsAtZero());
    EXPECT_EQ(view.Cell(view.Count() - 1, 0), newest.time);
}

TEST_F(MonitorOfRecorder, KeepsTheRowsInViewAndSelectedWhenTheOldestGo) {
    Polls(30);  // 60 frames: the list is full
    monitor.Refresh();
    // The user scrolls to the top and selects a row.
    SendMessageW(view.List(), LVM_ENSUREVISIBLE, 0, FALSE);
    ASSERT_EQ(view.Top(), 0);
    const int height = [&] {
        RECT r{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(view.List(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
        return static_cast<int>(r.bottom - r.top);
    }();
    SendMessageW(view.List(), LVM_SCROLL, 0, 20 * height);
    const int top = view.Top();
    ASSERT_GT(top, 0);
    const uint64_t topSequence = monitor.ShownFirst() + static_cast<uint64_t>(top);
    const uint64_t selectedSequence = topSequence + 2;
    view.Select(top + 2, true);

    Polls(3);  // six frames more, the six oldest go
    monitor.Refresh();
    EXPECT_EQ(monitor.ShownFirst() + static_cast<uint64_t>(view.Top()), topSequence);
    EXPECT_FALSE(view.LastRowInView());
    const auto selected =
        SendMessageW(view.List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    EXPECT_EQ(monitor.ShownFirst() + static_cast<uint64_t>(selected), selectedSequence);
    EXPECT_EQ(SendMessageW(view.List(), LVM_GETSELECTEDCOUNT, 0, 0), 1);

    // Back at the bottom, it follows the newest again.
    SendMessageW(view.List(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(view.Count() - 1), FALSE);
    Polls(2);
    monitor.Refresh();
    EXPECT_TRUE(view.LastRowInView());
}

TEST_F(MonitorOfRecorder, FailedFramesAreDrawnRed) {
    const std::vector<uint8_t> good = {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0x2A, 0x32};
    std::vector<uint8_t> badSum = good;
    badSum.back() ^= 0xFF;
    Poll(good, 0);
    Poll(badSum, 3);
    Poll({0x01, 0x83, 0x02, 0xC0, 0xF1}, 102);
    recorder.RecordWrite(std::vector<uint8_t>{0x01, 0x03, 0x01, 0x00, 0x00, 0x02, 0xC5, 0xF7});
    recorder.EndAnswer(4);  // no answer
    recorder.RecordWrite(std::vector<uint8_t>{0x01, 0x03, 0x01, 0x00, 0x00, 0x02, 0xC5, 0xF7});
    monitor.Refresh();
    ASSERT_EQ(static_cast<uint64_t>(view.Count()), recorder.CompleteEnd());
    int failed = 0;
    for (int row = 0; row < view.Count(); ++row) {
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr = {view.List(), static_cast<UINT_PTR>(CLineMonitorDlg::kFrameList),
                         static_cast<UINT>(NM_CUSTOMDRAW)};
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
        draw.clrText = RGB(0, 0, 0);
        SendMessageW(view.hwnd, WM_NOTIFY, CLineMonitorDlg::kFrameList,
                     reinterpret_cast<LPARAM>(&draw));
        const bool red = draw.clrText != RGB(0, 0, 0);
        const TrafficFrame frame =
            recorder.Frame(monitor.ShownFirst() + static_cast<uint64_t>(row));
        EXPECT_EQ(red, IsFailedFrame(frame)) << row << ": " << DescribeFrame(frame);
        EXPECT_EQ(GetWindowLongPtrW(view.hwnd, DWLP_MSGRESULT),
                  red ? CDRF_NEWFONT : CDRF_DODEFAULT);
        failed += red ? 1 : 0;
    }
    EXPECT_GE(failed, 2);  // the bad sum and the exception at least
}

}  // namespace
