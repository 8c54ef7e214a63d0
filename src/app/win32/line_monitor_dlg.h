// SPDX-License-Identifier: MIT
#pragma once

#include "app/win32/windows_api.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "monitor/monitor_text.h"

class FileSystem;
class TrafficRecorder;

// The line monitor, "Монитор линии": a modeless window beside the main window that lists the
// frames the serial channel recorded (a virtual list: only the rows painted are decoded), the
// session statistics under it, and Pause, Clear, Copy and Save. It refreshes itself on a timer
// of its own window and reads the recorder only; the main window and the exchanges do not know
// whether it is open.
class CLineMonitorDlg {
  public:
    // The save-file dialog for the capture: the name chosen, nothing when cancelled.
    using SaveFileDialog = std::function<std::optional<std::wstring>(HWND owner)>;
    // True while the main window is inside one of its waits (a Start or a tick): a modal dialog
    // opened then would hold the exchange up, so Save waits for the next refresh after it.
    using BusyCheck = std::function<bool()>;

    // The controls' ids.
    static constexpr int kFrameList = 100;
    static constexpr int kStatistics = 101;
    static constexpr int kPauseButton = 102;
    static constexpr int kClearButton = 103;
    static constexpr int kCopyButton = 104;
    static constexpr int kSaveButton = 105;
    // The refresh timer's id on the monitor's own window, and its period.
    static constexpr UINT_PTR kRefreshTimer = 1;
    static constexpr UINT kRefreshPeriodMs = 200;

    // application: the program's name, written into the capture's header. listLimit: the frames
    // the list shows at most (the newest).
    CLineMonitorDlg(TrafficRecorder& recorder, FileSystem& files, std::string application,
                    size_t listLimit = kMonitorListLimit);
    ~CLineMonitorDlg();
    CLineMonitorDlg(const CLineMonitorDlg&) = delete;
    CLineMonitorDlg& operator=(const CLineMonitorDlg&) = delete;

    void SetSaveFileDialog(SaveFileDialog dialog) { saveFileDialog_ = std::move(dialog); }
    void SetBusyCheck(BusyCheck busy) { busy_ = std::move(busy); }

    // Creates the window beside the given one and shows it, or brings it to the front when it is
    // open already.
    void Open(HWND beside);
    // Destroys the window; the next Open makes it anew.
    void Close();
    bool IsOpen() const { return hwnd_ != nullptr; }
    HWND hwnd() const { return hwnd_; }
    // The message through the monitor's dialog keys (Tab between its controls); true when it
    // was the monitor's and is handled.
    bool TranslateDialogKeys(MSG& message);

    // What the timer does: the list's new frames and the statistics, unless paused.
    void Refresh();
    bool Paused() const { return paused_; }
    // The frames shown: sequences from ShownFirst() up to ShownEnd().
    uint64_t ShownFirst() const { return shownFirst_; }
    uint64_t ShownEnd() const { return shownEnd_; }
    // Rows decoded since the window was opened, for checking that a refresh decodes only what
    // is shown.
    uint64_t RowsDecoded() const { return rowsDecoded_; }

  private:
    // A decoded row in the window system's text, with the failure mark.
    struct ShownRow {
        std::wstring time, direction, hex, decoded;
        bool failed = false;
    };

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void CreateControls();
    void LayOut();
    void OnCommand(int id);
    LRESULT OnNotify(const NMHDR& header);
    const ShownRow* RowAt(int index);
    bool AtBottom() const;
    // The selected rows' indices move up by shift rows (the oldest were let go).
    void ShiftSelection(int shift);
    void ShowStatistics();
    void TogglePause();
    void ClearFrames();
    void CopyRows();
    void SaveToFile();
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

    TrafficRecorder& recorder_;
    FileSystem& files_;
    std::string application_;
    size_t listLimit_;
    SaveFileDialog saveFileDialog_;
    BusyCheck busy_;

    HWND hwnd_ = nullptr;
    HFONT listFont_ = nullptr;
    bool paused_ = false;
    bool saveWanted_ = false;  // Save was pressed during a wait of the main window
    uint64_t shownFirst_ = 0;
    uint64_t shownEnd_ = 0;
    std::unordered_map<uint64_t, ShownRow> rows_;  // decoded rows by sequence, a small cache
    uint64_t rowsDecoded_ = 0;
    std::wstring statistics_;
};
