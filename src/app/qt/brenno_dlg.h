// SPDX-License-Identifier: MIT
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_template.h"
#include "polling/dialog_view.h"

class QButtonGroup;
class CLineMonitorDlg;
class PollingController;
class SerialChannel;
class SettingsStore;
class DeviceNames;
struct DescribedPortList;

// The font a template names, as this system has it: the Windows faces resolve to their
// metric-compatible Liberation faces, so that a layout in dialog units keeps its proportions.
QFont TemplateFont(const std::string& family, int pointSize);
// The dialog base units of a font (average character width, character height in pixels).
DialogBaseUnits BaseUnitsOf(const QFont& font);
// The widgets of a template, created as children of parent at their pixel places; each
// control with an id carries the id as its object name.
void CreateTemplateControls(QWidget& parent, const DialogTemplate& dialog,
                            const DialogBaseUnits& base);

// A drop-down list that can read its items again just before it opens (the port list).
class DropDownList : public QComboBox {
    Q_OBJECT

  public:
    using QComboBox::QComboBox;
    // Called before the list opens; none by default.
    std::function<void()> beforePopup;
    void showPopup() override;
};

// Timer 1 and the window's waits in a time other than the event loop's own: the tests run a
// whole Start and the polling after it in virtual time this way. A wait dispatches the window's
// events for its length; a tick that comes due is handed to the tick function, which posts it to
// the window as the timer's own tick is posted.
class WindowTime {
  public:
    virtual ~WindowTime() = default;
    virtual void ArmTimer(uint32_t periodMs, std::function<void()> tick) = 0;
    virtual void KillTimer() = 0;
    virtual void Wait(uint32_t milliseconds) = 0;
};

// The main window of either program (template 102), built from its description. It shows
// what the controller tells it through DialogView and hands the user's commands, the poll
// timer and the port choice to the controller and the channel.
class CBrennoDlg : public QDialog, public DialogView {
    Q_OBJECT

  public:
    // The parameter dialog of the program, when it has one.
    using ParameterDialog = std::function<std::optional<size_t>(
        QWidget& owner, const std::vector<ParameterChoice>& choices)>;

    explicit CBrennoDlg(const WindowDescription& window);
    ~CBrennoDlg() override;

    void Attach(PollingController& controller, SerialChannel& channel, SettingsStore& settings,
                DeviceNames& devices);
    void SetParameterDialog(ParameterDialog dialog) { parameterDialog_ = std::move(dialog); }
    // The save-file dialog for the log: the name chosen, empty when cancelled. Qt's own dialog
    // with the "*.txt" filter and the overwrite prompt unless another is given (tests).
    using SaveFileDialog = std::function<QString(QWidget& owner)>;
    void SetSaveFileDialog(SaveFileDialog dialog) { saveFileDialog_ = std::move(dialog); }

    // Timer 1 and the waits in another time (tests); the event loop's own unless set.
    void SetWindowTime(WindowTime* time) { windowTime_ = time; }

    // The window's initial state: the controller's, the lists, the remembered port.
    void OnInitDialog();
    // The about box, modal.
    void ShowAbout();
    // The line monitor: made on first use, shown and brought to the front; it lives as long as
    // this window and is closed with it.
    CLineMonitorDlg& ShowLineMonitor();
    // The line monitor if it has been opened, nullptr otherwise.
    CLineMonitorDlg* LineMonitor() const { return lineMonitor_.get(); }

    // The control with the template id, nullptr when the window has none.
    QWidget* Control(int id) const;
    const DialogBaseUnits& baseUnits() const { return base_; }
    const WindowDescription& window() const { return window_; }

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

    // Whether timer 1 is running, and its period.
    bool TimerArmed() const { return timerArmed_; }
    int TimerPeriod() const { return pollTimer_.interval(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void reject() override;

  private:
    QWidget* RoleWidget(std::optional<int> id) const;
    QComboBox* Combo(int id) const;
    void FillPortList();
    // Reads the port list again (the list is about to open) and shows it.
    void RefreshPortList();
    void ShowPortList(const DescribedPortList& ports);
    void ConnectCommands();
    void OnPortChosen(int index);
    // Timer 1's tick, unless a wait holds the ticks back.
    void OnPollTimer();

    const WindowDescription& window_;
    QFont font_;
    DialogBaseUnits base_;
    std::map<int, QWidget*> controls_;
    QButtonGroup* pollKinds_ = nullptr;
    QTimer pollTimer_;
    WindowTime* windowTime_ = nullptr;
    bool timerArmed_ = false;
    bool holdingTicks_ = false;
    bool tickHeld_ = false;  // a tick came due while held back
    ParameterDialog parameterDialog_;
    SaveFileDialog saveFileDialog_;

    PollingController* controller_ = nullptr;
    SerialChannel* channel_ = nullptr;
    SettingsStore* settings_ = nullptr;
    DeviceNames* devices_ = nullptr;
    std::unique_ptr<CLineMonitorDlg> lineMonitor_;
};

// Adds the text to a sorted list at its place (case-insensitive, as the list control sorts)
// and returns its index.
int AddSortedItem(QComboBox& list, const QString& text);
