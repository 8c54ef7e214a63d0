// SPDX-License-Identifier: MIT
#include "gui_win32/win32_gui_support.h"

#include "app/win32/dialog_builder.h"

namespace {

struct PendingDialog {
    std::wstring caption;
    HWND except = nullptr;
    std::function<void(HWND)> action;
    UINT_PTR timer = 0;
};
PendingDialog pending;

// Whether the window belongs to this process: the tests share one desktop with other test
// programs, whose windows may carry the same caption (the end-to-end tests' main windows).
bool IsOurs(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId();
}

void CALLBACK LookForDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND found = nullptr;
    while ((found = FindWindowExW(nullptr, found, L"#32770", pending.caption.c_str())) != nullptr) {
        if (found != pending.except && IsOurs(found) && IsWindowVisible(found)) {
            break;
        }
    }
    if (found == nullptr) {
        return;
    }
    KillTimer(nullptr, pending.timer);
    auto action = std::move(pending.action);
    pending = {};
    action(found);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

const wchar_t* ClassNameOf(WORD ordinal) {
    switch (ordinal) {
        case 0x0080:
            return L"Button";
        case 0x0081:
            return L"Edit";
        case 0x0082:
            return L"Static";
        default:
            return L"ComboBox";
    }
}

}  // namespace

void WhenDialogOpens(const std::wstring& caption, HWND except, std::function<void(HWND)> action) {
    pending = {caption, except, std::move(action), 0};
    pending.timer = SetTimer(nullptr, 0, 10, &LookForDialog);
}

void StopWaitingForDialog() {
    if (pending.timer != 0) {
        KillTimer(nullptr, pending.timer);
    }
    pending = {};
}

std::vector<std::string> StaticTexts(HWND dialog) {
    std::vector<std::string> texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const bool icon = (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && !icon &&
            GetWindowTextLengthW(child) > 0) {
            texts.push_back(WideToUtf8(WindowText(child)));
        }
    }
    return texts;
}

void ExpectLaidOutAsTemplate(HWND dialog, const DialogTemplate& layout, bool checkCaptions) {
    RECT size{0, 0, layout.width, layout.height};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right) << layout.id;
    EXPECT_EQ(client.bottom, size.bottom) << layout.id;
    EXPECT_EQ(WideToUtf8(WindowText(dialog)), layout.caption);

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ControlTemplate& c : layout.controls) {
        ASSERT_NE(child, nullptr) << "template " << layout.id << ": no control for " << c.id;
        SCOPED_TRACE("template " + std::to_string(layout.id) + ", control " + std::to_string(c.id) +
                     " \"" + c.caption + "\"");
        EXPECT_EQ(GetDlgCtrlID(child), c.id);
        EXPECT_EQ(_wcsicmp(ClassOf(child).c_str(), ClassNameOf(ControlStyleOf(c).classOrdinal)), 0);
        // Position and size each converted, as the dialog manager places a control.
        RECT expected{c.x, c.y, c.width, c.height};
        MapDialogRect(dialog, &expected);
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        // Closed, a drop-down list is as high as the system makes its one line; the template
        // gives the height of the list dropped.
        if (c.kind != ControlKind::kDropDownList) {
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
        if (checkCaptions && c.kind != ControlKind::kDropDownList) {
            EXPECT_EQ(WideToUtf8(WindowText(child)), c.caption);
        }
        EXPECT_EQ((GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) == 0, c.hidden);
        child = GetWindow(child, GW_HWNDNEXT);
    }
}
