// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The main window as the controller sees it: roles, not widgets. Each program's window maps
// the roles to its own controls; tests use a recording stand-in.

// Texts the controller writes or reads.
enum class ViewText {
    kStatusLine,
    kModelName,
    kTransducerTime,
    kComputerTime,
    kPeriodField,
    kAsduField,
    kDelayResult,
    kDataFormatCaption,  // the caption of the data-format check box ("Физ. ед" / "Код")
};

// Controls the controller enables, disables, focuses or reads.
enum class ViewControl {
    kPortList,
    kStart,
    kStop,
    kWriteToFile,
    kTimeBase,
    kPeriodField,
    kDataFormat,
    kGroupList,
    kPollKindGroup,  // "Опрос группы"
    kPollKindRead,   // "Чтение (102)"
    kPollKindLink,   // "Чтение на канальном уровне"
    kDelayButton,
    kAsduLabel,
    kAsduField,
    kDelayResult,
    kSyncClock,
    kRtcTest,
};

// The frames around the value panels.
enum class ViewFrame { kAc, kDc, kAcDc, kMeasured };

enum class MessageIcon { kNone, kExclamation, kInformation, kError };

// One entry of the parameter dialog ("Выбор параметра для чтения").
struct ParameterChoice {
    std::string label;
    uint32_t address = 0;
    std::string name;

    friend bool operator==(const ParameterChoice&, const ParameterChoice&) = default;
};

class DialogView {
  public:
    virtual ~DialogView() = default;

    virtual void SetText(ViewText role, const std::string& text) = 0;
    virtual std::string Text(ViewText role) const = 0;
    // Slot k (0 to 8, in the fixed slot order): its caption and its value field.
    virtual void SetCaption(int slot, const std::string& text) = 0;
    virtual void SetValue(int slot, const std::string& text) = 0;

    virtual void EnableControl(ViewControl control, bool enabled) = 0;
    virtual void ShowFrame(ViewFrame frame, bool shown) = 0;
    virtual void SetFocus(ViewControl control) = 0;
    virtual void Repaint() = 0;

    // Settings read at Start: check boxes, the poll kind (0 to 2), the group list (0 = station).
    virtual bool IsChecked(ViewControl control) const = 0;
    virtual void SetChecked(ViewControl control, bool checked) = 0;
    virtual int PollKind() const = 0;
    virtual int GroupSelection() const = 0;

    // A message box with the OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
    // The save-file dialog for the log ("*.txt", overwrite prompt); nothing when cancelled.
    virtual std::optional<std::string> ChooseLogFile() = 0;

    // The parameter dialog: the index of the entry chosen with "ОК", nothing when it was
    // cancelled. A window without that dialog (the metrology tool) never offers a choice.
    virtual std::optional<size_t> ChooseParameter(const std::vector<ParameterChoice>& /*choices*/) {
        return std::nullopt;
    }

    // Timer 1: the poll timer.
    virtual void ArmTimer(uint32_t periodMs) = 0;
    virtual void KillTimer() = 0;

    // Keeps the window's events dispatched for the given time (clicks and ticks may arrive).
    virtual void PumpMessagesFor(uint32_t milliseconds) = 0;
    // The same, with the poll timer's ticks held back: a tick that comes due meanwhile is
    // delivered once the caller has returned to the event loop, as after a blocking wait.
    virtual void PumpMessagesHoldingTimer(uint32_t milliseconds) = 0;
};
