// SPDX-License-Identifier: MIT
// The viewer's own pieces under Wine: the data-format switch, the parameter dialog (template
// 103) and the save-file dialog's name check.
#include <gtest/gtest.h>

#include "app/polmira_window.h"
#include "app/win32/input_address_dlg.h"
#include "channel/port_list.h"
#include "gui_win32/win32_gui_support.h"
#include "polling/polmira_variant.h"

namespace {

constexpr const wchar_t* kParameterCaption = L"Выбор параметра для чтения";

class PolmiraDialogs : public testing::Test {
  protected:
    void SetUp() override {
        w.devices.ttys = {StandInDevices::Usb("ttyUSB0")};
        w.Open(PolmiraVariant(), PolmiraWindow());
    }
    WindowUnderTest w;
};

TEST_F(PolmiraDialogs, DataFormatSwitchTurnsItsCaption) {
    EXPECT_TRUE(w.Checked(1039));
    EXPECT_EQ(w.Text(1039), "Физ. ед");
    w.Click(1039);
    EXPECT_FALSE(w.Checked(1039));
    EXPECT_EQ(w.Text(1039), "Код");
    w.Click(1039);
    EXPECT_TRUE(w.Checked(1039));
    EXPECT_EQ(w.Text(1039), "Физ. ед");
}

TEST_F(PolmiraDialogs, ParameterDialogPreselectsTheFirstAndReturnsTheChoice) {
    const std::vector<ParameterChoice> choices = {{"Ua", 0x100, "Ua  "}, {"Ub", 0x101, "Ub  "}};
    std::vector<std::wstring> items;
    WhenDialogOpens(kParameterCaption, nullptr, [&](HWND dialog) {
        ExpectLaidOutAsTemplate(dialog, InputAddressTemplate(), true);
        HWND list = GetDlgItem(dialog, CInputAddress::kParameterList);
        items = ListItems(list);
        EXPECT_EQ(SelectedItem(list), L"Ua");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
        SendMessageW(list, CB_SETCURSEL, 1, 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(CInputAddress::kParameterList, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(CInputAddress::Choose(w.Dialog().hwnd(), choices), std::optional<size_t>(1));
    EXPECT_EQ(items, (std::vector<std::wstring>{L"Ua", L"Ub"}));

    // "ОК" at once reads the first; "Отмена" reads nothing.
    WhenDialogOpens(kParameterCaption, nullptr,
                    [](HWND dialog) { SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); });
    EXPECT_EQ(CInputAddress::Choose(w.Dialog().hwnd(), choices), std::optional<size_t>(0));
    WhenDialogOpens(kParameterCaption, nullptr, [](HWND dialog) {
        SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(CInputAddress::Choose(w.Dialog().hwnd(), choices), std::nullopt);
}

TEST_F(PolmiraDialogs, ParameterDialogWithNothingToChooseOnlyCancels) {
    bool okEnabled = true;
    LRESULT count = -1;
    WhenDialogOpens(kParameterCaption, nullptr, [&](HWND dialog) {
        okEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
        count = SendDlgItemMessageW(dialog, CInputAddress::kParameterList, CB_GETCOUNT, 0, 0);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(CInputAddress::Choose(w.Dialog().hwnd(), {}), std::nullopt);
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(count, 0);
}

TEST_F(PolmiraDialogs, AnOverlongLogFileNameIsRefusedAndAskedAgain) {
    // The names a user gives in the save-file dialog: one too long, then none (cancelled).
    std::vector<std::optional<std::wstring>> names = {L"C:\\" + std::wstring(120, L'x') + L".txt",
                                                      std::nullopt};
    int dialogs = 0;
    w.Dialog().SetSaveFileDialog([&](HWND) { return names.at(static_cast<size_t>(dialogs++)); });
    std::vector<std::string> shown;
    WhenDialogOpens(L"Ошибка", nullptr, [&](HWND box) {
        shown = StaticTexts(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(w.Dialog().ChooseLogFile(), std::nullopt);
    EXPECT_EQ(dialogs, 2);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().rfind("Имя файла длиннее 99 символов: ", 0), 0u) << shown.back();

    // A name that fits is taken as it is.
    w.Dialog().SetSaveFileDialog([](HWND) { return std::wstring(L"C:\\журнал.txt"); });
    EXPECT_EQ(w.Dialog().ChooseLogFile(), std::optional<std::string>("C:\\журнал.txt"));
}

}  // namespace
