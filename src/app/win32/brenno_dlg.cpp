// SPDX-License-Identifier: MIT
#include "app/win32/brenno_dlg.h"

#include <commctrl.h>
#include <commdlg.h>

#include "app/win32/about_dlg.h"
#include "app/win32/dialog_builder.h"
#include "app/win32/line_monitor_dlg.h"
#include "app/win32/text_convert.h"
#include "catalogue/model_catalogue.h"
#include "channel/port_list.h"
#include "channel/serial_channel.h"
#include "polling/messages.h"
#include "polling/polling_controller.h"

namespace {

// A held tick, delivered once the wait that held it back has returned to the message loop.
constexpr UINT kHeldTickMessage = WM_APP + 1;
// The save-file dialog's name buffer holds this many characters.
constexpr size_t kMaxLogFileNameLength = 99;

std::optional<std::wstring> SystemSaveFileDialog(HWND owner) {
    // A buffer longer than the names taken, so that a long name is refused with a message
    // instead of the dialog failing silently.
    std::wstring name(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"*.txt\0*.txt\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetSaveFileNameW(&ofn)) {
        return std::nullopt;
    }
    name.resize(wcslen(name.c_str()));
    return name;
}

UINT MessageBoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kExclamation:
            return MB_ICONEXCLAMATION;
        case MessageIcon::kInformation:
            return MB_ICONINFORMATION;
        case MessageIcon::kError:
            return MB_ICONERROR;
        case MessageIcon::kNone:
            break;
    }
    return 0;
}

void SetTextIfChanged(HWND control, const std::wstring& text) {
    if (control != nullptr && WindowText(control) != text) {
        SetWindowTextW(control, text.c_str());
    }
}

}  // namespace

bool IsFilteredKey(HWND window, const MSG& message) {
    return message.message == WM_KEYDOWN &&
           (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE) && window != nullptr &&
           (message.hwnd == window || IsChild(window, message.hwnd));
}

std::wstring WindowText(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return text;
}

std::vector<std::wstring> ListItems(HWND list) {
    std::vector<std::wstring> items;
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring item(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<size_t>(length));
        items.push_back(item);
    }
    return items;
}

std::wstring SelectedItem(HWND list) {
    const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    const std::vector<std::wstring> items = ListItems(list);
    return index >= 0 && static_cast<size_t>(index) < items.size()
               ? items[static_cast<size_t>(index)]
               : std::wstring();
}

CBrennoDlg::CBrennoDlg(const WindowDescription& window, WindowTime* time)
    : window_(window),
      systemTime_(time == nullptr ? std::make_unique<SystemWindowTime>() : nullptr),
      time_(time == nullptr ? *systemTime_ : *time) {}

CBrennoDlg::~CBrennoDlg() {
    monitor_.reset();
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
    for (HICON icon : {bigIcon_, smallIcon_}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
}

void CBrennoDlg::Attach(PollingController& controller, SerialChannel& channel,
                        SettingsStore& settings, DeviceNames& devices, FileSystem& files) {
    controller_ = &controller;
    channel_ = &channel;
    settings_ = &settings;
    devices_ = &devices;
    monitor_ =
        std::make_unique<CLineMonitorDlg>(channel.Traffic(), files, window_.mainWindow.caption);
    monitor_->SetBusyCheck([this] { return waitDepth_ > 0; });
}

bool CBrennoDlg::Create() {
    const DialogTemplateBuffer dialog(window_.mainWindow, MainWindowStyle());
    hwnd_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), nullptr,
                                       &CBrennoDlg::DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

INT_PTR CALLBACK CBrennoDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CBrennoDlg*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        self->hwnd_ = hwnd;
        self->InitWindow();
        self->OnInitDialog();
        return TRUE;  // the dialog manager sets the focus
    }
    auto* self = reinterpret_cast<CBrennoDlg*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CBrennoDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_TIMER:
            if (wParam == 1) {
                OnPollTimer();
            }
            return TRUE;
        case kHeldTickMessage:
            OnPollTimer();
            return TRUE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == kAboutCommand) {
                ShowAbout();
                return TRUE;
            }
            if ((wParam & 0xFFF0) == kMonitorCommand) {
                ShowMonitor();
                return TRUE;
            }
            return FALSE;  // move, minimise, close: the default handling
        case WM_CLOSE:
            OnClose();
            return TRUE;
        case WM_PAINT:
            if (IsIconic(hwnd_)) {
                OnPaintIconic();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(bigIcon_);
        default:
            return FALSE;
    }
}

void CBrennoDlg::InitWindow() {
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        if (!window_.aboutMenuText.empty()) {
            AppendMenuW(menu, MF_STRING, kAboutCommand, Utf8ToWide(window_.aboutMenuText).c_str());
        }
        AppendMenuW(menu, MF_STRING, kMonitorCommand, Utf8ToWide(kMonitorTitle).c_str());
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    bigIcon_ =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    // The items a template brings (its initialisation data).
    for (const ControlTemplate& c : window_.mainWindow.controls) {
        for (const std::string& item : c.items) {
            SendDlgItemMessageW(hwnd_, c.id, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(Utf8ToWide(item).c_str()));
        }
    }
}

void CBrennoDlg::OnInitDialog() {
    const WindowRoles& roles = window_.roles;
    controller_->OnInitDialog();
    if (HWND timeBase = Control(roles.timeBaseList)) {
        const LRESULT local = SendMessageW(timeBase, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(L"Local"));
        SendMessageW(timeBase, CB_SETCURSEL, static_cast<WPARAM>(local), 0);
    }
    if (HWND groups = Control(roles.groupList)) {
        SendMessageW(groups, CB_RESETCONTENT, 0, 0);
        SendMessageW(groups, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Общий"));
        for (int group = 1; group <= 16; ++group) {
            SendMessageW(groups, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(std::to_wstring(group).c_str()));
        }
        SendMessageW(groups, CB_SETCURSEL, 0, 0);
    }
    if (!roles.pollKindButtons.empty()) {
        CheckRadioButton(hwnd_, roles.pollKindButtons.front(), roles.pollKindButtons.back(),
                         roles.pollKindButtons.front());
    }
    channel_->LoadPortSettings(*settings_, *devices_);
    FillPortList();
    SetChecked(ViewControl::kWriteToFile, false);
}

void CBrennoDlg::FillPortList() {
    HWND list = Control(window_.roles.portList);
    if (list == nullptr) {
        return;
    }
    const DescribedPortList ports =
        DescribePortList(channel_->portList, channel_->portName, *devices_);
    channel_->portName = ports.selected;
    ShowPortList(ports);
}

void CBrennoDlg::RefreshPortList() {
    ShowPortList(channel_->RefreshPortList(*devices_));
}

void CBrennoDlg::ShowPortList(const DescribedPortList& ports) {
    HWND list = Control(window_.roles.portList);
    if (list == nullptr) {
        return;
    }
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    portTooltips_.clear();
    for (size_t i = 0; i < ports.items.size(); ++i) {
        const std::wstring item = Utf8ToWide(ports.items[i]);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        portTooltips_[item] = Utf8ToWide(ports.tooltips[i]);
    }
    // An exact match: CB_SELECTSTRING would take "COM1" for "COM10".
    const LRESULT index =
        SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(Utf8ToWide(ports.selected).c_str()));
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ShowPortTooltip();
}

void CBrennoDlg::ShowPortTooltip() {
    HWND list = Control(window_.roles.portList);
    if (list == nullptr) {
        return;
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    if (portTooltip_ == nullptr) {
        // A tool on the list itself: the dialog's template and the list's style stay as they
        // are. Lines break at "\n" once a width is set.
        portTooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                       hwnd_, nullptr, nullptr, nullptr);
        if (portTooltip_ == nullptr) {
            return;
        }
        SendMessageW(portTooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(portTooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    const auto found = portTooltips_.find(SelectedItem(list));
    std::wstring text = found != portTooltips_.end() ? found->second : std::wstring();
    tool.lpszText = text.data();
    SendMessageW(portTooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(portTooltip_, TTM_ACTIVATE, text.empty() ? FALSE : TRUE, 0);
}

void CBrennoDlg::OnPortChosen() {
    channel_->portName = WideToUtf8(SelectedItem(Control(window_.roles.portList)));
    ShowPortTooltip();
    channel_->SavePortSetting(*settings_);
}

void CBrennoDlg::OnCommand(int id, int notification) {
    if (controller_ == nullptr || id == 0) {
        return;
    }
    const WindowRoles& roles = window_.roles;
    if (notification == CBN_DROPDOWN && id == roles.portList) {
        RefreshPortList();
        return;
    }
    if (notification == CBN_SELCHANGE) {
        if (id == roles.portList) {
            OnPortChosen();
        } else if (id == roles.timeBaseList) {
            controller_->OnTimeBaseChanged(SelectedItem(Control(id)) == L"Local");
        }
        return;
    }
    if (notification != BN_CLICKED) {
        return;
    }
    // IDOK and IDCANCEL (from the dialog manager) are not among these: the window closes only
    // by its close box, its system menu or Alt+F4.
    const std::pair<int, void (PollingController::*)()> commands[] = {
        {roles.startButton, &PollingController::OnStart},
        {roles.stopButton, &PollingController::OnStop},
        {roles.syncButton, &PollingController::OnSyncClock},
        {roles.delayButton, &PollingController::OnMeasureDelay},
        {roles.rtcTestButton, &PollingController::OnRtcTest},
        {roles.dataFormatBox, &PollingController::OnDataFormat},
    };
    for (const auto& [button, handler] : commands) {
        if (button != 0 && button == id) {
            (controller_->*handler)();
            return;
        }
    }
}

void CBrennoDlg::OnClose() {
    // Polling ends first, so that the port and the log are closed in order; a Start that is
    // running ends at its next wait.
    if (controller_ != nullptr && (controller_->IsPolling() || controller_->IsStarting())) {
        controller_->OnStop();
    }
    KillTimer();
    if (monitor_ != nullptr) {
        monitor_->Close();
    }
    closed_ = true;
    ShowWindow(hwnd_, SW_HIDE);
}

void CBrennoDlg::OnPaintIconic() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, bigIcon_);
    EndPaint(hwnd_, &paint);
}

void CBrennoDlg::ShowAbout() {
    CAboutDlg::Show(hwnd_, window_.aboutBox);
}

void CBrennoDlg::ShowMonitor() {
    if (monitor_ != nullptr) {
        monitor_->Open(hwnd_);
    }
}

void CBrennoDlg::RunModalLoop() {
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    MSG message;
    while (!closed_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            if (got == 0) {
                PostQuitMessage(static_cast<int>(message.wParam));
            }
            break;
        }
        DispatchOne(message);
    }
}

void CBrennoDlg::DispatchOne(MSG& message) {
    if (IsFilteredKey(hwnd_, message)) {
        return;
    }
    // The monitor's keys (Tab, Escape) go to its own dialog manager.
    if (monitor_ != nullptr && monitor_->TranslateDialogKeys(message)) {
        return;
    }
    if (hwnd_ == nullptr || !IsDialogMessageW(hwnd_, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void CBrennoDlg::PumpMessagesFor(uint32_t milliseconds) {
    // The messages are dispatched until the deadline; in between the thread sleeps until the
    // next one arrives. The deadline holds while they keep coming too: a timer that comes due
    // again while a long handler runs would otherwise keep the queue from ever running empty.
    const uint64_t deadline = time_.NowMs() + milliseconds;
    ++waitDepth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{waitDepth_};
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
                return;
            }
            DispatchOne(message);
            if (time_.NowMs() >= deadline) {
                return;
            }
        }
        const uint64_t now = time_.NowMs();
        if (now >= deadline) {
            return;
        }
        time_.WaitForMessage(static_cast<uint32_t>(deadline - now));
    }
}

void CBrennoDlg::PumpMessagesHoldingTimer(uint32_t milliseconds) {
    const bool outer = !holdingTicks_;
    holdingTicks_ = true;
    PumpMessagesFor(milliseconds);
    if (outer) {
        holdingTicks_ = false;
        if (tickHeld_) {
            // Delivered once the running handler has returned to the message loop; a wait that
            // comes before that holds it back again.
            tickHeld_ = false;
            PostMessageW(hwnd_, kHeldTickMessage, 0, 0);
        }
    }
}

void CBrennoDlg::OnPollTimer() {
    if (holdingTicks_) {
        tickHeld_ = true;
        return;
    }
    if (controller_ != nullptr) {
        controller_->OnTimer(1);
    }
}

void CBrennoDlg::ArmTimer(uint32_t periodMs) {
    time_.ArmTimer(hwnd_, periodMs);
    timerArmed_ = true;
    timerPeriod_ = periodMs;
}

void CBrennoDlg::KillTimer() {
    time_.KillTimer(hwnd_);
    timerArmed_ = false;
}

HWND CBrennoDlg::RoleControl(std::optional<int> id) const {
    return id ? Control(*id) : nullptr;
}

void CBrennoDlg::SetText(ViewText role, const std::string& text) {
    // Only when it changes: most ticks leave most fields as they were.
    SetTextIfChanged(RoleControl(window_.roles.IdOf(role)), Utf8ToWide(text));
}

std::string CBrennoDlg::Text(ViewText role) const {
    HWND control = RoleControl(window_.roles.IdOf(role));
    return control != nullptr ? WideToUtf8(WindowText(control)) : std::string();
}

void CBrennoDlg::SetCaption(int slot, const std::string& text) {
    if (slot >= 0 && slot < static_cast<int>(kSlotCount)) {
        SetTextIfChanged(Control(kSlotControls[static_cast<size_t>(slot)].captionId),
                         Utf8ToWide(text));
    }
}

void CBrennoDlg::SetValue(int slot, const std::string& text) {
    if (slot >= 0 && slot < static_cast<int>(kSlotCount)) {
        SetTextIfChanged(Control(kSlotControls[static_cast<size_t>(slot)].valueId),
                         Utf8ToWide(text));
    }
}

void CBrennoDlg::EnableControl(ViewControl control, bool enabled) {
    if (HWND widget = RoleControl(window_.roles.IdOf(control))) {
        EnableWindow(widget, enabled ? TRUE : FALSE);
    }
}

void CBrennoDlg::ShowFrame(ViewFrame frame, bool shown) {
    if (HWND widget = RoleControl(window_.roles.IdOf(frame))) {
        ShowWindow(widget, shown ? SW_SHOW : SW_HIDE);
    }
}

void CBrennoDlg::SetFocus(ViewControl control) {
    if (HWND widget = RoleControl(window_.roles.IdOf(control))) {
        // As the dialog manager moves the focus, so that the default button follows it.
        SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(widget), TRUE);
    }
}

void CBrennoDlg::Repaint() {
    if (IsWindowVisible(hwnd_)) {
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

bool CBrennoDlg::IsChecked(ViewControl control) const {
    const std::optional<int> id = window_.roles.IdOf(control);
    return id && hwnd_ != nullptr && IsDlgButtonChecked(hwnd_, *id) == BST_CHECKED;
}

void CBrennoDlg::SetChecked(ViewControl control, bool checked) {
    if (const std::optional<int> id = window_.roles.IdOf(control)) {
        CheckDlgButton(hwnd_, *id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
}

int CBrennoDlg::PollKind() const {
    const std::vector<int>& buttons = window_.roles.pollKindButtons;
    for (size_t kind = 0; kind < buttons.size(); ++kind) {
        if (IsDlgButtonChecked(hwnd_, buttons[kind]) == BST_CHECKED) {
            return static_cast<int>(kind);
        }
    }
    return 0;
}

int CBrennoDlg::GroupSelection() const {
    HWND groups = Control(window_.roles.groupList);
    const LRESULT index = groups != nullptr ? SendMessageW(groups, CB_GETCURSEL, 0, 0) : 0;
    return index > 0 ? static_cast<int>(index) : 0;
}

void CBrennoDlg::ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) {
    // The box's own loop dispatches the window's timer, so that ticks go on while it is open;
    // its button is the system's, in the language of the system.
    MessageBoxW(hwnd_, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(),
                MB_OK | MessageBoxIcon(icon));
}

std::optional<std::string> CBrennoDlg::ChooseLogFile() {
    for (;;) {
        const std::optional<std::wstring> file =
            saveFileDialog_ ? saveFileDialog_(hwnd_) : SystemSaveFileDialog(hwnd_);
        if (!file || file->empty()) {
            return std::nullopt;
        }
        if (file->size() <= kMaxLogFileNameLength) {
            return WideToUtf8(*file);
        }
        ShowMessage("Имя файла длиннее " + std::to_string(kMaxLogFileNameLength) +
                        " символов: " + WideToUtf8(*file),
                    kErrorCaption, MessageIcon::kExclamation);
    }
}

std::optional<size_t> CBrennoDlg::ChooseParameter(const std::vector<ParameterChoice>& choices) {
    if (!parameterDialog_) {
        return std::nullopt;
    }
    return parameterDialog_(hwnd_, choices);
}
