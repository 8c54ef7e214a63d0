// SPDX-License-Identifier: MIT
// Both programs' Win32 main windows under Wine: the initial state, the layout in dialog units,
// the keyboard filter, the system menu and the about box, the port list, and a Start on a
// simulated transducer in virtual time that the close box ends.
#include <gtest/gtest.h>

#include "app/calvena_window.h"
#include "app/polmira_window.h"
#include "app/win32/line_monitor_dlg.h"
#include "catalogue/model_catalogue.h"
#include "channel/port_list.h"
#include "gui_win32/win32_gui_support.h"
#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "sim/simulated_transducer.h"
#include "sim/transducer_profiles.h"

// After windows.h, which the window's header brings.
#include <commctrl.h>

namespace {

struct Program {
    const char* name;
    const ProgramVariant& (*variant)();
    const WindowDescription& (*window)();
    int statusLine, transducerTime, computerTime;
    // A slot's value on the steady TQ21 after two ticks (the viewer shows physical units, the
    // metrology tool raw codes).
    size_t slot;
    const char* value;
};

const Program kPrograms[] = {
    {"Polmira", &PolmiraVariant, &PolmiraWindow, 1042, 1040, 1041, 0, "230.0"},
    {"Calvena", &CalvenaVariant, &CalvenaWindow, 1031, 1029, 1030, 3, "30147"},
};

class MainWindow : public testing::TestWithParam<Program> {
  protected:
    void OpenWithPorts(std::vector<TtyDevice> ttys, std::optional<std::string> remembered) {
        w.devices.ttys = std::move(ttys);
        w.settings.values.clear();
        if (remembered) {
            w.settings.values[kPortSettingKey] = *remembered;
        }
        Reopen();
    }
    void Reopen() { w.Open(GetParam().variant(), GetParam().window()); }
    void SetUp() override { OpenWithPorts({StandInDevices::Usb("ttyUSB0")}, "ttyUSB0"); }
    const WindowDescription& Window() { return GetParam().window(); }
    HWND Hwnd() { return w.Dialog().hwnd(); }

    WindowUnderTest w;
};

// Counts the button commands a window receives (a click, or IDOK/IDCANCEL of the dialog
// manager).
LRESULT CALLBACK CountClicks(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR counter) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        ++*reinterpret_cast<int*>(counter);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

TEST_P(MainWindow, InitialState) {
    const Program& p = GetParam();
    EXPECT_EQ(WideToUtf8(WindowText(Hwnd())), p.name);
    EXPECT_EQ(w.Text(p.statusLine), "Ожидание");
    EXPECT_EQ(w.Text(p.transducerTime), "00 : 00 : 0.00");
    EXPECT_EQ(w.Text(p.computerTime), "00 : 00 : 0.00");
    for (const SlotControls& slot : kSlotControls) {
        EXPECT_EQ(w.Text(slot.valueId), "-----") << slot.valueId;
    }
    EXPECT_EQ(w.Text(1023), "500");
    EXPECT_EQ(w.Items(1025), (std::vector<std::string>{"GMT", "Local"}));
    EXPECT_EQ(w.Selected(1025), "Local");
    EXPECT_FALSE(w.Checked(1024));
    EXPECT_TRUE(IsWindowEnabled(w.Control(1001)));
    // The template's font, or the face that stands in for it with the same metrics.
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Hwnd(), WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"Courier New");
    // The window style: a fixed-size popup with caption, system menu and minimise box, in the
    // taskbar.
    const LONG_PTR style = GetWindowLongPtrW(Hwnd(), GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    EXPECT_TRUE(GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST_P(MainWindow, ControlsSitWhereTheTemplatePutsThem) {
    ExpectLaidOutAsTemplate(Hwnd(), Window().mainWindow, false);
}

TEST_P(MainWindow, EnterAndEscapeAreSwallowedOtherKeysPass) {
    int clicks = 0;
    SetWindowSubclass(Hwnd(), &CountClicks, 1, reinterpret_cast<DWORD_PTR>(&clicks));
    for (int focus : {1023, 1001, 1016, 1024, 1025}) {
        SendMessageW(Hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(w.Control(focus)), TRUE);
        for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
            PostMessageW(w.Control(focus), WM_KEYDOWN, key, 1);
            PostMessageW(w.Control(focus), WM_KEYUP, key, 0xC0000001);
        }
        w.Dialog().PumpMessagesFor(0);  // the waits inside a Start filter them as well
    }
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(w.Dialog().closed());

    // The program's own loop: the keys go nowhere, other keys reach the controls, and the
    // close box ends it.
    SendMessageW(Hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(w.Control(1023)), TRUE);
    SendMessageW(w.Control(1023), EM_SETSEL, 3, 3);
    for (WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}, WPARAM{'0'}}) {
        PostMessageW(w.Control(1023), WM_KEYDOWN, key, 1);
    }
    // The close box once the loop has taken the keys (a timer's message comes after them).
    WhenDialogOpens(Utf8ToWide(GetParam().name), nullptr,
                    [](HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); });
    w.Dialog().RunModalLoop();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(w.Text(1023), "5000");
    EXPECT_TRUE(w.Dialog().closed());
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    RemoveWindowSubclass(Hwnd(), &CountClicks, 1);
}

TEST_P(MainWindow, SystemMenuOpensTheAboutBox) {
    HMENU menu = GetSystemMenu(Hwnd(), FALSE);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 3);
    MENUITEMINFOW separator{};
    separator.cbSize = sizeof(separator);
    separator.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, static_cast<UINT>(count - 3), TRUE, &separator);
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
    // The about box, and the line monitor below it.
    EXPECT_EQ(GetMenuItemID(menu, count - 2), kAboutCommand);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), kMonitorCommand);
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(count - 2), text, 64, MF_BYPOSITION);
    EXPECT_EQ(WideToUtf8(text), Window().aboutMenuText);
    GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
    EXPECT_EQ(WideToUtf8(text), "Монитор линии");

    const std::string name = GetParam().name;
    std::vector<std::string> lines;
    bool okDefault = false;
    bool iconShown = false;
    WhenDialogOpens(Utf8ToWide(name), Hwnd(), [&](HWND about) {
        ExpectLaidOutAsTemplate(about, Window().aboutBox, true);
        lines = StaticTexts(about);
        okDefault =
            (GetWindowLongPtrW(GetDlgItem(about, IDOK), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
        // The last control is the icon at 14,14.
        HWND icon = GetWindow(GetWindow(about, GW_CHILD), GW_HWNDLAST);
        iconShown = SendMessageW(icon, STM_GETICON, 0, 0) != 0;
        PostMessageW(about, WM_COMMAND, IDOK, 0);
    });
    // The low four bits of a system command are the system's own.
    SendMessageW(Hwnd(), WM_SYSCOMMAND, kAboutCommand | 0x3, 0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], name + ", версия\u00a01.0");
    EXPECT_TRUE(okDefault);
    EXPECT_TRUE(iconShown);
    EXPECT_FALSE(w.Dialog().closed());
    // The window's icon, for the title bar and the taskbar.
    EXPECT_NE(SendMessageW(Hwnd(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(Hwnd(), WM_QUERYDRAGICON, 0, 0), 0);
}

TEST_P(MainWindow, SystemCommandsOpenTheAboutBoxOrTheLineMonitor) {
    // The low four bits of a system command are the system's own: 16 to 31 are the about box,
    // 32 to 47 the monitor.
    const struct {
        WPARAM command;
        bool about;
    } kCases[] = {{16, true}, {17, true}, {31, true}, {32, false}, {33, false}, {47, false}};
    CLineMonitorDlg& monitor = *w.Dialog().monitor();
    HWND first = nullptr;
    for (const auto& c : kCases) {
        SCOPED_TRACE("command " + std::to_string(c.command));
        bool aboutShown = false;
        WhenDialogOpens(Utf8ToWide(GetParam().name), Hwnd(), [&](HWND about) {
            aboutShown = true;
            PostMessageW(about, WM_COMMAND, IDOK, 0);
        });
        SendMessageW(Hwnd(), WM_SYSCOMMAND, c.command, 0);
        StopWaitingForDialog();
        EXPECT_EQ(aboutShown, c.about);
        if (!c.about) {
            // One window a program: opening it again brings the same one to the front.
            ASSERT_TRUE(monitor.IsOpen());
            if (first == nullptr) {
                first = monitor.hwnd();
            }
            EXPECT_EQ(monitor.hwnd(), first);
            EXPECT_TRUE(IsWindowVisible(first));
            EXPECT_EQ(WideToUtf8(WindowText(first)), "Монитор линии");
        } else {
            EXPECT_EQ(monitor.hwnd(), first);  // the about box leaves the monitor as it was
        }
    }
    // Its own close box closes it alone; the main window's closes both.
    SendMessageW(first, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(monitor.IsOpen());
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(w.Dialog().closed());
    SendMessageW(Hwnd(), WM_SYSCOMMAND, kMonitorCommand, 0);
    ASSERT_TRUE(monitor.IsOpen());
    HWND second = monitor.hwnd();
    SendMessageW(Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(w.Dialog().closed());
    EXPECT_FALSE(monitor.IsOpen());
    EXPECT_FALSE(IsWindow(second));
}

TEST_P(MainWindow, PortListWithTheRememberedPortPresentOrAbsent) {
    OpenWithPorts({StandInDevices::Usb("ttyUSB10"), StandInDevices::Uart("ttyS0"),
                   StandInDevices::Uart("ttyS3", 0), StandInDevices::Usb("ttyUSB2")},
                  "ttyUSB2");
    // The list control sorts its items by their text.
    EXPECT_EQ(w.Items(1000), (std::vector<std::string>{"ttyS0", "ttyUSB10", "ttyUSB2", "НЕТ"}));
    EXPECT_EQ(w.Selected(1000), "ttyUSB2");
    EXPECT_EQ(w.app->channel().portName, "ttyUSB2");

    OpenWithPorts({StandInDevices::Usb("ttyUSB0")}, "ttyUSB7");
    EXPECT_EQ(w.Selected(1000), "НЕТ");
    EXPECT_EQ(w.settings.values.at(kPortSettingKey), "ttyUSB7");  // kept for when it is back

    OpenWithPorts({}, std::nullopt);
    EXPECT_EQ(w.Items(1000), std::vector<std::string>{"НЕТ"});
    EXPECT_EQ(w.Selected(1000), "НЕТ");
}

TEST_P(MainWindow, AChosenPortIsSavedAndFoundAgain) {
    OpenWithPorts({StandInDevices::Usb("ttyUSB0"), StandInDevices::Usb("ttyUSB1")}, "ttyUSB0");
    w.Choose(1000, 1);
    EXPECT_EQ(w.settings.values.at(kPortSettingKey), "ttyUSB1");
    EXPECT_EQ(w.app->channel().portName, "ttyUSB1");
    Reopen();
    EXPECT_EQ(w.Selected(1000), "ttyUSB1");
}

// The port list is read again as it drops down (a user's click or Alt+Down); its tooltip says
// what the selected port is.
TEST_P(MainWindow, PortListIsReadAgainWhenItDropsDown) {
    w.devices.descriptions = {{"ttyUSB0", "FT232R USB UART"}, {"ttyUSB1", "CH340"}};
    OpenWithPorts({StandInDevices::Usb("ttyUSB0")}, "ttyUSB0");
    const auto tooltip = [this] {
        HWND list = w.Control(1000);
        std::wstring text(1024, L'\0');
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = Hwnd();
        tool.uId = reinterpret_cast<UINT_PTR>(list);
        tool.lpszText = text.data();
        SendMessageW(w.Dialog().portTooltip(), TTM_GETTEXTW, text.size(),
                     reinterpret_cast<LPARAM>(&tool));
        return WideToUtf8(text.c_str());
    };
    const auto dropDown = [this] {
        SendMessageW(w.Control(1000), CB_SHOWDROPDOWN, TRUE, 0);
        SendMessageW(w.Control(1000), CB_SHOWDROPDOWN, FALSE, 0);
    };
    ASSERT_NE(w.Dialog().portTooltip(), nullptr);
    EXPECT_EQ(tooltip(), "FT232R USB UART");
    const int writes = w.settings.writes;

    // ttyUSB1 plugged in while the program runs.
    w.devices.ttys.push_back(StandInDevices::Usb("ttyUSB1"));
    dropDown();
    EXPECT_EQ(w.Items(1000), (std::vector<std::string>{"ttyUSB0", "ttyUSB1", "НЕТ"}));
    EXPECT_EQ(w.Selected(1000), "ttyUSB0");

    // The chosen ttyUSB0 pulled out: it stays chosen, marked absent, and nothing is saved.
    w.devices.ttys = {StandInDevices::Usb("ttyUSB1")};
    dropDown();
    EXPECT_EQ(w.Items(1000), (std::vector<std::string>{"ttyUSB0", "ttyUSB1", "НЕТ"}));
    EXPECT_EQ(w.Selected(1000), "ttyUSB0");
    EXPECT_EQ(tooltip(), "Порт отсутствует в системе");
    EXPECT_EQ(w.app->channel().portName, "ttyUSB0");
    EXPECT_EQ(w.settings.writes, writes);

    w.Choose(1000, 1);
    EXPECT_EQ(tooltip(), "CH340");
    EXPECT_EQ(w.settings.values.at(kPortSettingKey), "ttyUSB1");
}

TEST_P(MainWindow, StartPollsTheSimulatedTransducerAndTheCloseBoxStopsIt) {
    const Program& p = GetParam();
    SimProfile profile = *FindProfile("TQ21");
    for (SimParameter& parameter : profile.parameters) {
        parameter.amplitude = 0;
    }
    SimulatedTransducer transducer(profile, w.clock);
    SimulatedTransducerPeer peer(transducer, w.line);

    // An error would stop the Start in a message box: it is closed and reported.
    std::vector<std::string> error;
    WhenDialogOpens(L"Ошибка", nullptr, [&](HWND box) {
        error = StaticTexts(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    w.Click(1001);  // the whole Start, its waits dispatched in virtual time
    StopWaitingForDialog();
    EXPECT_EQ(error, std::vector<std::string>{});
    EXPECT_TRUE(w.app->controller().IsPolling());
    EXPECT_TRUE(w.Dialog().TimerArmed());
    EXPECT_EQ(w.Dialog().TimerPeriod(), 500u);
    EXPECT_EQ(w.Text(1003), "TQ21-1");
    EXPECT_FALSE(IsWindowEnabled(w.Control(1001)));
    w.Dialog().PumpMessagesFor(1010);  // two ticks
    EXPECT_EQ(w.Text(p.statusLine).rfind("Запрос данных", 0), 0u) << w.Text(p.statusLine);
    EXPECT_GE(w.app->controller().tickCounter(), 2);
    EXPECT_EQ(w.Text(kSlotControls[p.slot].valueId), p.value);
    EXPECT_NE(w.Text(p.transducerTime), "00 : 00 : 0.00");

    // Stop, and Start again with the configuration kept.
    w.Click(1016);
    EXPECT_FALSE(w.app->controller().IsPolling());
    EXPECT_FALSE(w.Dialog().TimerArmed());
    EXPECT_FALSE(w.device.IsOpen());
    EXPECT_EQ(w.Text(p.statusLine), "Ожидание");
    EXPECT_TRUE(IsWindowEnabled(w.Control(1001)));
    w.Click(1001);
    ASSERT_TRUE(w.app->controller().IsPolling());

    // The close box ends polling and closes the port before the window goes.
    SendMessageW(Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(w.Dialog().closed());
    EXPECT_FALSE(w.app->controller().IsPolling());
    EXPECT_FALSE(w.Dialog().TimerArmed());
    EXPECT_FALSE(w.device.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Programs, MainWindow, testing::ValuesIn(kPrograms),
                         [](const auto& program) { return std::string(program.param.name); });

}  // namespace
