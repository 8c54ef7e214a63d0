// SPDX-License-Identifier: MIT
#include "app/win32/line_monitor_dlg.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "app/win32/brenno_dlg.h"
#include "app/win32/dialog_builder.h"
#include "app/win32/text_convert.h"
#include "channel/traffic_recorder.h"
#include "monitor/capture_file.h"
#include "platform/file_sink.h"
#include "polling/messages.h"

namespace {

// The window's size when it opens and at least, in dialog units of its font.
constexpr int kWidthDu = 620;
constexpr int kHeightDu = 320;
constexpr int kMinWidthDu = 300;
constexpr int kMinHeightDu = 160;
// The margins, the buttons and the statistics area, in dialog units.
constexpr int kMarginDu = 7;
constexpr int kGapDu = 4;
constexpr int kButtonWidthDu = 60;
constexpr int kButtonHeightDu = 14;
constexpr int kStatisticsHeightDu = 46;
// The columns other than the last, which takes the rest of the list's width.
constexpr int kTimeColumnDu = 64;
constexpr int kDirectionColumnDu = 62;
constexpr int kBytesColumnDu = 190;
// The decoded line's column is at least this wide (the list scrolls sideways to it).
constexpr int kDecodedColumnDu = 420;
// The point size of the list's and the statistics' face.
constexpr int kListPointSize = 9;
// Failed frames are drawn in this colour.
constexpr COLORREF kFailedText = RGB(200, 0, 0);
// The decoded rows kept at most; the visible ones are a few dozen.
constexpr size_t kRowCacheSize = 1024;

DialogStyle MonitorWindowStyle() {
    return {DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
            WS_EX_APPWINDOW};
}

std::optional<std::wstring> SystemSaveCaptureDialog(HWND owner) {
    std::wstring name(32768, L'\0');
    std::wstring filter = Utf8ToWide(kMonitorSaveFilter);
    filter += L'\0';
    filter += L"*.pcapng";
    filter += L'\0';
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();  // its second terminator is the string's own
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrDefExt = L"pcapng";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameW(&ofn)) {
        return std::nullopt;
    }
    name.resize(wcslen(name.c_str()));
    return name;
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) {
        return false;
    }
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool put = false;
    if (memory != nullptr) {
        if (void* target = GlobalLock(memory)) {
            std::memcpy(target, text.c_str(), bytes);
            GlobalUnlock(memory);
            put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!put) {
            GlobalFree(memory);  // the clipboard owns it only once taken
        }
    }
    CloseClipboard();
    return put;
}

void CopyText(const std::wstring& text, LPWSTR target, int capacity) {
    if (target == nullptr || capacity <= 0) {
        return;
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::wmemcpy(target, text.data(), n);
    target[n] = L'\0';
}

}  // namespace

CLineMonitorDlg::CLineMonitorDlg(TrafficRecorder& recorder, FileSystem& files,
                                 std::string application, size_t listLimit)
    : recorder_(recorder),
      files_(files),
      application_(std::move(application)),
      listLimit_(listLimit) {}

CLineMonitorDlg::~CLineMonitorDlg() {
    Close();
}

void CLineMonitorDlg::Open(HWND beside) {
    if (hwnd_ != nullptr) {
        if (IsIconic(hwnd_)) {
            ShowWindow(hwnd_, SW_RESTORE);
        }
        SetForegroundWindow(hwnd_);
        BringWindowToTop(hwnd_);
        return;
    }
    // The list view's class, also where the program has not registered it yet.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    DialogTemplate layout;
    layout.caption = kMonitorTitle;
    layout.width = kWidthDu;
    layout.height = kHeightDu;
    layout.fontFamily = "MS Shell Dlg";
    layout.pointSize = 8;
    const DialogTemplateBuffer dialog(layout, MonitorWindowStyle());
    // No owner: the monitor goes behind the main window and has its own taskbar button.
    CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), nullptr,
                               &CLineMonitorDlg::DialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd_ == nullptr) {
        return;
    }
    // Down and to the right of the main window, inside the screen's work area.
    RECT window;
    GetWindowRect(hwnd_, &window);
    int x = window.left, y = window.top;
    if (beside != nullptr) {
        RECT besideRect;
        GetWindowRect(beside, &besideRect);
        x = besideRect.left + 40;
        y = besideRect.top + 40;
    }
    MONITORINFO screen{};
    screen.cbSize = sizeof(screen);
    if (GetMonitorInfoW(
            MonitorFromWindow(beside != nullptr ? beside : hwnd_, MONITOR_DEFAULTTONEAREST),
            &screen)) {
        const RECT& work = screen.rcWork;
        x = std::max<int>(work.left, std::min<int>(x, work.right - (window.right - window.left)));
        y = std::max<int>(work.top, std::min<int>(y, work.bottom - (window.bottom - window.top)));
    }
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void CLineMonitorDlg::Close() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);  // WM_NCDESTROY forgets the handle
    }
}

bool CLineMonitorDlg::TranslateDialogKeys(MSG& message) {
    if (hwnd_ == nullptr || (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd))) {
        return false;
    }
    return IsDialogMessageW(hwnd_, &message) != FALSE;
}

INT_PTR CALLBACK CLineMonitorDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CLineMonitorDlg*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        self->hwnd_ = hwnd;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CLineMonitorDlg*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->rows_.clear();
        if (self->listFont_ != nullptr) {
            DeleteObject(self->listFont_);  // its controls are gone
            self->listFont_ = nullptr;
        }
        return FALSE;
    }
    return self->HandleMessage(message, wParam, lParam);
}

INT_PTR CLineMonitorDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kRefreshTimer) {
                Refresh();
            }
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                OnCommand(LOWORD(wParam));
            }
            return TRUE;
        case WM_NOTIFY: {
            const LRESULT result = OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case WM_SIZE:
            LayOut();
            return TRUE;
        case WM_GETMINMAXINFO: {
            RECT minimum{0, 0, kMinWidthDu, kMinHeightDu};
            MapDialogRect(hwnd_, &minimum);
            AdjustWindowRectEx(&minimum, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)),
                               FALSE, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {minimum.right - minimum.left, minimum.bottom - minimum.top};
            return TRUE;
        }
        case WM_CLOSE:
            Close();
            return TRUE;
        case WM_DESTROY:
            KillTimer(hwnd_, kRefreshTimer);
            return FALSE;
        default:
            return FALSE;
    }
}

void CLineMonitorDlg::OnInitDialog() {
    paused_ = false;
    saveWanted_ = false;
    shownFirst_ = shownEnd_ = 0;
    rows_.clear();
    rowsDecoded_ = 0;
    statistics_.clear();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (auto [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
        const int size = GetSystemMetrics(metric);
        if (HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, size,
                                     size, LR_SHARED)) {
            SendMessageW(hwnd_, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
        }
    }
    CreateControls();
    LayOut();
    Refresh();
    SetTimer(hwnd_, kRefreshTimer, kRefreshPeriodMs, nullptr);
}

void CLineMonitorDlg::CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto font = static_cast<WPARAM>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    auto make = [&](DWORD exStyle, const wchar_t* className, const std::string& text, DWORD style,
                    int id) {
        HWND control = CreateWindowExW(
            exStyle, className, Utf8ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10,
            10, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(control, WM_SETFONT, font, FALSE);
        return control;
    };
    // The frames and the statistics in the main window's monospaced face, so that the bytes
    // line up.
    HDC screen = GetDC(hwnd_);
    const int height = -MulDiv(kListPointSize, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(hwnd_, screen);
    listFont_ = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            FIXED_PITCH | FF_MODERN, L"Courier New");
    HWND list =
        make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, "",
             WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, kFrameList);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    const int columnWidths[] = {kTimeColumnDu, kDirectionColumnDu, kBytesColumnDu,
                                kDecodedColumnDu};
    if (listFont_ != nullptr) {
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), FALSE);
    }
    for (int i = 0; i < 4; ++i) {
        RECT width{0, 0, columnWidths[i], 0};
        MapDialogRect(hwnd_, &width);
        std::wstring title = Utf8ToWide(kMonitorColumns[static_cast<size_t>(i)]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
        column.fmt = i == 1 ? LVCFMT_CENTER : LVCFMT_LEFT;  // the arrow in the middle
        column.pszText = title.data();
        column.cx = width.right;
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&column));
    }
    make(WS_EX_CLIENTEDGE, L"EDIT", "",
         WS_TABSTOP | WS_GROUP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
         kStatistics);
    if (listFont_ != nullptr) {
        SendMessageW(Item(kStatistics), WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), FALSE);
    }
    const std::pair<const char*, int> buttons[] = {{kMonitorPause, kPauseButton},
                                                   {kMonitorClear, kClearButton},
                                                   {kMonitorCopy, kCopyButton},
                                                   {kMonitorSave, kSaveButton}};
    for (const auto& [text, id] : buttons) {
        make(0, L"BUTTON", text, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, id);
    }
}

void CLineMonitorDlg::LayOut() {
    HWND list = Item(kFrameList);
    if (list == nullptr) {
        return;
    }
    RECT client;
    GetClientRect(hwnd_, &client);
    RECT du{kMarginDu, kGapDu, kButtonWidthDu, kButtonHeightDu};
    MapDialogRect(hwnd_, &du);
    const int margin = du.left, gap = du.top, buttonWidth = du.right, buttonHeight = du.bottom;
    RECT statisticsDu{0, 0, 0, kStatisticsHeightDu};
    MapDialogRect(hwnd_, &statisticsDu);
    const int width = std::max<int>(0, client.right - 2 * margin);
    const int buttonsTop = client.bottom - margin - buttonHeight;
    const int statisticsTop = buttonsTop - gap - statisticsDu.bottom;
    const int listHeight = std::max<int>(0, statisticsTop - gap - margin);

    HDWP moves = BeginDeferWindowPos(6);
    auto place = [&](HWND control, int x, int y, int w, int h) {
        if (moves != nullptr) {
            moves =
                DeferWindowPos(moves, control, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        }
    };
    place(list, margin, margin, width, listHeight);
    place(Item(kStatistics), margin, statisticsTop, width, statisticsDu.bottom);
    int x = margin;
    for (int id : {kPauseButton, kClearButton, kCopyButton, kSaveButton}) {
        place(Item(id), x, buttonsTop, buttonWidth, buttonHeight);
        x += buttonWidth + gap;
    }
    if (moves != nullptr) {
        EndDeferWindowPos(moves);
    }
    // The decoded line takes what the other columns leave.
    int others = 0;
    for (int i = 0; i < 3; ++i) {
        others +=
            static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
    }
    RECT inner;
    GetClientRect(list, &inner);
    const int rest = inner.right - others;
    RECT minimum{0, 0, kDecodedColumnDu, 0};
    MapDialogRect(hwnd_, &minimum);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 3, std::max<int>(rest, minimum.right));
}

void CLineMonitorDlg::OnCommand(int id) {
    switch (id) {
        case kPauseButton:
            TogglePause();
            break;
        case kClearButton:
            ClearFrames();
            break;
        case kCopyButton:
            CopyRows();
            break;
        case kSaveButton:
            SaveToFile();
            break;
        case IDCANCEL:  // Escape, as in any tool window
            Close();
            break;
        default:
            break;  // Enter (IDOK) does nothing
    }
}

LRESULT CLineMonitorDlg::OnNotify(const NMHDR& header) {
    if (header.idFrom != static_cast<UINT_PTR>(kFrameList)) {
        return 0;
    }
    if (header.code == LVN_GETDISPINFOW) {
        LVITEMW& item =
            const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
        if ((item.mask & LVIF_TEXT) == 0) {
            return 0;
        }
        const ShownRow* row = RowAt(item.iItem);
        static const std::wstring kNothing;
        const std::wstring* texts[] = {
            row ? &row->time : &kNothing, row ? &row->direction : &kNothing,
            row ? &row->hex : &kNothing, row ? &row->decoded : &kNothing};
        if (item.iSubItem >= 0 && item.iSubItem < 4) {
            CopyText(*texts[item.iSubItem], item.pszText, item.cchTextMax);
        }
        return 0;
    }
    if (header.code == NM_CUSTOMDRAW) {
        auto& draw = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
            return CDRF_NOTIFYITEMDRAW;
        }
        if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            const ShownRow* row = RowAt(static_cast<int>(draw.nmcd.dwItemSpec));
            if (row != nullptr && row->failed) {
                draw.clrText = kFailedText;
                return CDRF_NEWFONT;
            }
        }
        return CDRF_DODEFAULT;
    }
    return 0;
}

const CLineMonitorDlg::ShownRow* CLineMonitorDlg::RowAt(int index) {
    if (index < 0) {
        return nullptr;
    }
    const uint64_t sequence = shownFirst_ + static_cast<uint64_t>(index);
    if (sequence >= shownEnd_) {
        return nullptr;
    }
    if (auto found = rows_.find(sequence); found != rows_.end()) {
        return &found->second;
    }
    // A frame let go since the last refresh (the store full, or cleared) shows nothing.
    if (sequence < recorder_.FirstSequence() || sequence >= recorder_.CompleteEnd()) {
        return nullptr;
    }
    if (rows_.size() >= kRowCacheSize) {
        rows_.clear();
    }
    const FrameRow row = MakeFrameRow(recorder_.Frame(sequence), recorder_.LocalMsAtZero());
    ++rowsDecoded_;
    return &rows_
                .emplace(sequence,
                         ShownRow{Utf8ToWide(row.time), Utf8ToWide(row.direction),
                                  Utf8ToWide(row.hex), Utf8ToWide(row.decoded), row.failed})
                .first->second;
}

bool CLineMonitorDlg::AtBottom() const {
    HWND list = Item(kFrameList);
    const LRESULT count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    if (count == 0) {
        return true;
    }
    const LRESULT top = SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
    const LRESULT perPage = SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
    return top + std::max<LRESULT>(perPage, 1) >= count;
}

void CLineMonitorDlg::ShiftSelection(int shift) {
    HWND list = Item(kFrameList);
    std::vector<int> selected;
    for (LRESULT i = -1;
         (i = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED)) != -1;) {
        selected.push_back(static_cast<int>(i));
    }
    if (selected.empty()) {
        return;
    }
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    for (int index : selected) {
        if (index >= shift) {
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index - shift),
                         reinterpret_cast<LPARAM>(&state));
        }
    }
}

void CLineMonitorDlg::Refresh() {
    if (hwnd_ == nullptr) {
        return;
    }
    if (saveWanted_ && !(busy_ && busy_())) {
        saveWanted_ = false;
        SaveToFile();
        if (hwnd_ == nullptr) {
            return;  // closed while the dialog was open
        }
    }
    if (paused_) {
        return;  // the recorder records on; the window stays as it is
    }
    const uint64_t end = recorder_.CompleteEnd();
    const uint64_t first =
        std::max(recorder_.FirstSequence(), end > listLimit_ ? end - listLimit_ : uint64_t{0});
    if (first != shownFirst_ || end != shownEnd_) {
        HWND list = Item(kFrameList);
        const bool follow = AtBottom();
        const LRESULT top = SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
        const uint64_t oldCount = shownEnd_ - shownFirst_;
        // Sequences only grow: the oldest rows were let go (the limit, the store full, Clear).
        const uint64_t shift = std::min(first - shownFirst_, oldCount + 1);
        for (auto i = rows_.begin(); i != rows_.end();) {
            i = i->first < first ? rows_.erase(i) : std::next(i);
        }
        if (shift > 0) {
            ShiftSelection(static_cast<int>(shift));
        }
        shownFirst_ = first;
        shownEnd_ = end;
        const auto count = static_cast<WPARAM>(end - first);
        // New rows at the end are drawn when they come into view; old ones are not asked for
        // again.
        SendMessageW(list, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        if (shift > 0) {
            // Every row moved up: what is on the screen is drawn again (from the cache).
            InvalidateRect(list, nullptr, FALSE);
            if (!follow && count > 0) {
                // The rows the user was looking at stay in view while they are kept.
                const LRESULT kept = std::max<LRESULT>(top - static_cast<LRESULT>(shift), 0);
                SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(kept), FALSE);
            }
        }
        if (follow && count > 0) {
            SendMessageW(list, LVM_ENSUREVISIBLE, count - 1, FALSE);
        }
    }
    ShowStatistics();
}

void CLineMonitorDlg::ShowStatistics() {
    std::wstring text;
    for (const std::string& line : StatisticsLines(recorder_.Statistics())) {
        if (!text.empty()) {
            text += L"\r\n";
        }
        text += Utf8ToWide(line);
    }
    if (text != statistics_) {
        statistics_ = text;
        SetWindowTextW(Item(kStatistics), text.c_str());
    }
}

void CLineMonitorDlg::TogglePause() {
    paused_ = !paused_;
    SetWindowTextW(Item(kPauseButton),
                   Utf8ToWide(paused_ ? kMonitorResume : kMonitorPause).c_str());
    if (!paused_) {
        Refresh();
    }
}

void CLineMonitorDlg::ClearFrames() {
    recorder_.Clear();
    HWND list = Item(kFrameList);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    shownFirst_ = shownEnd_ = recorder_.FirstSequence();
    rows_.clear();
    SendMessageW(list, LVM_SETITEMCOUNT, 0, 0);
    ShowStatistics();  // the statistics start again too, also while paused
}

void CLineMonitorDlg::CopyRows() {
    HWND list = Item(kFrameList);
    std::vector<uint64_t> sequences;
    for (LRESULT i = -1;
         (i = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED)) != -1;) {
        sequences.push_back(shownFirst_ + static_cast<uint64_t>(i));
    }
    if (sequences.empty()) {
        for (uint64_t s = shownFirst_; s < shownEnd_; ++s) {
            sequences.push_back(s);
        }
    }
    std::string text;
    for (uint64_t sequence : sequences) {
        if (sequence < recorder_.FirstSequence() || sequence >= recorder_.CompleteEnd()) {
            continue;
        }
        if (!text.empty()) {
            text += "\r\n";
        }
        text += FrameRowLine(MakeFrameRow(recorder_.Frame(sequence), recorder_.LocalMsAtZero()));
    }
    if (!text.empty()) {
        PutOnClipboard(hwnd_, Utf8ToWide(text));
    }
}

void CLineMonitorDlg::SaveToFile() {
    if (busy_ && busy_()) {
        // Asked inside a Start or a tick: the dialog opens at the first refresh after it.
        saveWanted_ = true;
        return;
    }
    const std::optional<std::wstring> name =
        saveFileDialog_ ? saveFileDialog_(hwnd_) : SystemSaveCaptureDialog(hwnd_);
    if (!name || name->empty()) {
        return;
    }
    if (!::SaveCapture(files_, WideToUtf8(*name), recorder_, application_)) {
        MessageBoxW(hwnd_, (Utf8ToWide(kMonitorSaveFailed) + L": " + *name).c_str(),
                    Utf8ToWide(kErrorCaption).c_str(), MB_OK | MB_ICONERROR);
    }
}
