// SPDX-License-Identifier: MIT
#pragma once

#include "app/win32/windows_api.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_template.h"
#include "app/win32/window_time.h"
#include "polling/dialog_view.h"

class CLineMonitorDlg;
class DeviceNames;
class FileSystem;
class PollingController;
class SerialChannel;
class SettingsStore;
struct DescribedPortList;

// The application icon's resource number.
inline constexpr int kIconResource = 128;
// The system menu's command of the about box.
inline constexpr UINT kAboutCommand = 0x0010;
// The system menu's command of the line monitor, below the about box's.
inline constexpr UINT kMonitorCommand = 0x0020;

// Whether the message is a key-down of Enter or Escape for the window or one of its controls:
// those are swallowed, so that Enter never presses a button and Escape never closes the window.
bool IsFilteredKey(HWND window, const MSG& message);

// The main window of either program (template 102), a dialog built from its description. It
// shows what the controller tells it through DialogView and hands the user's commands, the poll
// timer and the port choice to the controller and the channel.
class CBrennoDlg : public DialogView {
  public:
    // The parameter dialog of the program, when it has one.
    using ParameterDialog =
        std::function<std::optional<size_t>(HWND owner, const std::vector<ParameterChoice>&)>;
    // The save-file dialog for the log: the name chosen, nothing when cancelled.
    using SaveFileDialog = std::function<std::optional<std::wstring>(HWND owner)>;

    // time: the window's timer and waits; the system's when none is given.
    explicit CBrennoDlg(const WindowDescription& window, WindowTime* time = nullptr);
    ~CBrennoDlg() override;
    CBrennoDlg(const CBrennoDlg&) = delete;
    CBrennoDlg& operator=(const CBrennoDlg&) = delete;

    // files: where the line monitor saves its captures.
    void Attach(PollingController& controller, SerialChannel& channel, SettingsStore& settings,
                DeviceNames& devices, FileSystem& files);
    void SetParameterDialog(ParameterDialog dialog) { parameterDialog_ = std::move(dialog); }
    void SetSaveFileDialog(SaveFileDialog dialog) { saveFileDialog_ = std::move(dialog); }

    // Creates the window (hidden); its WM_INITDIALOG runs OnInitDialog. Attach comes first.
    bool Create();
    // Shows the window and dispatches its messages until it is closed (or WM_QUIT arrives).
    void RunModalLoop();
    // The about box, modal.
    void ShowAbout();
    // The line monitor over the channel's traffic, modeless; brought to the front when open.
    void ShowMonitor();
    // The line monitor (its window open or not); null before Attach.
    CLineMonitorDlg* monitor() { return monitor_.get(); }

    HWND hwnd() const { return hwnd_; }
    HWND Control(int id) const { return hwnd_ != nullptr ? GetDlgItem(hwnd_, id) : nullptr; }
    const WindowDescription& window() const { return window_; }
    bool closed() const { return closed_; }
    // The tooltip window of the port list; null until the list is filled.
    HWND portTooltip() const { return portTooltip_; }
    bool TimerArmed() const { return timerArmed_; }
    uint32_t TimerPeriod() const { return timerPeriod_; }

    // DialogView
    void SetText(ViewText role, const std::string& text) override;
    std::string Text(ViewText role) const override;
    void SetCaption(int slot, const std::string& text) override;
    void SetValue(int slot, const std::string& text) override;
    void EnableControl(ViewControl control, bool enabled) override;
    void ShowFrame(ViewFrame frame, bool shown) override;
    void SetFocus(ViewControl control) override;
    void Repaint() override;
    bool IsChecked(ViewControl control) const override;
    void SetChecked(ViewControl control, bool checked) override;
    int PollKind() const override;
    int GroupSelection() const override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    std::optional<std::string> ChooseLogFile() override;
    std::optional<size_t> ChooseParameter(const std::vector<ParameterChoice>& choices) override;
    void ArmTimer(uint32_t periodMs) override;
    void KillTimer() override;
    void PumpMessagesFor(uint32_t milliseconds) override;
    void PumpMessagesHoldingTimer(uint32_t milliseconds) override;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The framework's part of WM_INITDIALOG: the system menu, the icons, the lists' items.
    void InitWindow();
    // The window's initial state: the controller's, the lists, the remembered port.
    void OnInitDialog();
    void OnCommand(int id, int notification);
    void OnClose();
    void OnPaintIconic();
    void FillPortList();
    // Reads the port list again (the list is about to drop down) and shows it.
    void RefreshPortList();
    void ShowPortList(const DescribedPortList& ports);
    // The port list's tooltip: what the selected port is.
    void ShowPortTooltip();
    void OnPortChosen();
    // Timer 1's tick, unless a wait holds the ticks back.
    void OnPollTimer();
    // One message through the keyboard filter and the dialog's own keys.
    void DispatchOne(MSG& message);
    HWND RoleControl(std::optional<int> id) const;

    const WindowDescription& window_;
    std::unique_ptr<SystemWindowTime> systemTime_;
    WindowTime& time_;
    HWND hwnd_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    bool closed_ = false;
    HWND portTooltip_ = nullptr;
    // The tooltip of each port list item, by its text.
    std::map<std::wstring, std::wstring> portTooltips_;
    bool timerArmed_ = false;
    uint32_t timerPeriod_ = 0;
    bool holdingTicks_ = false;
    bool tickHeld_ = false;  // a tick came due while held back
    int waitDepth_ = 0;      // PumpMessagesFor calls running
    ParameterDialog parameterDialog_;
    SaveFileDialog saveFileDialog_;

    PollingController* controller_ = nullptr;
    SerialChannel* channel_ = nullptr;
    SettingsStore* settings_ = nullptr;
    DeviceNames* devices_ = nullptr;
    std::unique_ptr<CLineMonitorDlg> monitor_;
};

// A control's text.
std::wstring WindowText(HWND control);
// The items of a drop-down list, and the selected one's text (empty when none is).
std::vector<std::wstring> ListItems(HWND list);
std::wstring SelectedItem(HWND list);
