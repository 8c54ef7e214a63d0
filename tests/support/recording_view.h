// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/virtual/virtual_clock.h"
#include "polling/dialog_view.h"

// A message box the controller showed.
struct RecordedMessage {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::kNone;
};

// The main window as the tests, the end-to-end tests and the benchmarks see it: records what the
// controller shows and runs a small event loop, in which the poll timer and scripted user
// actions (a click at a given moment) are dispatched while the controller pumps messages, while
// a message box stays open, or while the test lets time run.
//
// TimeSource is the loop's clock, in microseconds: NowUs() and WaitUntilUs(timeUs), which lets
// virtual time run (VirtualTime) or sleeps (RealTime).
template <class TimeSource>
class RecordingView : public DialogView {
  public:
    using Message = RecordedMessage;

    explicit RecordingView(TimeSource time = TimeSource()) : time_(std::move(time)) {}

    // What a tick does (normally the controller's OnTimer(1)).
    std::function<void()> onTimer;

    // A user action at time timeUs.
    void At(uint64_t timeUs, std::function<void()> action) {
        events_.push_back({timeUs, std::move(action)});
    }
    // Lets time run for ms, dispatching timer ticks and scripted actions.
    void RunFor(uint32_t ms) { Dispatch(time_.NowUs() + uint64_t{ms} * 1000); }

    // DialogView
    void SetText(ViewText role, const std::string& text) override {
        texts[role] = text;
        if (role == ViewText::kStatusLine && keepStatusHistory) {
            statusHistory.push_back(text);
            statusTimesUs.push_back(time_.NowUs());
        }
    }
    std::string Text(ViewText role) const override {
        auto it = texts.find(role);
        return it == texts.end() ? std::string() : it->second;
    }
    void SetCaption(int slot, const std::string& text) override { captions.at(slot) = text; }
    void SetValue(int slot, const std::string& text) override { values.at(slot) = text; }
    void EnableControl(ViewControl control, bool on) override { enabled[control] = on; }
    void ShowFrame(ViewFrame frame, bool shown) override { frames[frame] = shown; }
    void SetFocus(ViewControl control) override { focus = control; }
    void Repaint() override { ++repaints; }
    bool IsChecked(ViewControl control) const override {
        auto it = checked.find(control);
        return it != checked.end() && it->second;
    }
    void SetChecked(ViewControl control, bool on) override { checked[control] = on; }
    int PollKind() const override { return pollKind; }
    int GroupSelection() const override { return groupSelection; }
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        messages.push_back({text, caption, icon});
        // A box left open: its loop dispatches the timer and the scripted actions, as a modal
        // message box's does, until the user presses "ОК".
        if (messageOpenMs > 0) {
            const int ticksBefore = ticks;
            Dispatch(time_.NowUs() + uint64_t{messageOpenMs} * 1000);
            ticksWhileMessageOpen += ticks - ticksBefore;
        }
    }
    std::optional<std::string> ChooseLogFile() override {
        ++fileDialogs;
        return logFileChoice;
    }
    std::optional<size_t> ChooseParameter(const std::vector<ParameterChoice>& choices) override {
        offeredChoices = choices;
        return parameterChoice;
    }
    void ArmTimer(uint32_t periodMs) override {
        timerArmed = true;
        timerPeriodMs = periodMs;
        nextTickUs_ = time_.NowUs() + uint64_t{periodMs} * 1000;
    }
    void KillTimer() override { timerArmed = false; }
    void PumpMessagesFor(uint32_t milliseconds) override {
        ++pumps;
        Dispatch(time_.NowUs() + uint64_t{milliseconds} * 1000);
    }
    void PumpMessagesHoldingTimer(uint32_t milliseconds) override {
        ++pumps;
        Dispatch(time_.NowUs() + uint64_t{milliseconds} * 1000, /*holdTimer=*/true);
    }

    std::map<ViewText, std::string> texts;
    std::vector<std::string> statusHistory;
    std::vector<uint64_t> statusTimesUs;
    bool keepStatusHistory = true;  // false: only the current texts, as the widgets keep them
    std::array<std::string, 9> captions;
    std::array<std::string, 9> values;
    std::map<ViewControl, bool> enabled;
    std::map<ViewFrame, bool> frames;
    std::map<ViewControl, bool> checked;
    std::optional<ViewControl> focus;
    int repaints = 0;
    int pollKind = 0;
    int groupSelection = 0;
    std::vector<Message> messages;
    std::optional<std::string> logFileChoice;  // what the save-file dialog returns
    std::optional<size_t> parameterChoice;     // what the parameter dialog returns
    std::vector<ParameterChoice> offeredChoices;
    int fileDialogs = 0;
    bool timerArmed = false;
    uint32_t timerPeriodMs = 0;
    int pumps = 0;
    int ticks = 0;
    uint32_t messageOpenMs = 0;  // how long each message box stays open
    int ticksWhileMessageOpen = 0;

  private:
    struct Event {
        uint64_t timeUs;
        std::function<void()> action;
    };

    // A tick held back stays due: the next dispatch without the hold delivers it at once.
    void Dispatch(uint64_t deadlineUs, bool holdTimer = false) {
        for (;;) {
            auto next = std::min_element(
                events_.begin(), events_.end(),
                [](const Event& a, const Event& b) { return a.timeUs < b.timeUs; });
            const bool haveEvent = next != events_.end() && next->timeUs <= deadlineUs;
            const bool haveTick = !holdTimer && timerArmed && nextTickUs_ <= deadlineUs;
            if (!haveEvent && !haveTick) {
                break;
            }
            if (haveEvent && (!haveTick || next->timeUs <= nextTickUs_)) {
                Event event = std::move(*next);
                events_.erase(next);
                time_.WaitUntilUs(event.timeUs);
                event.action();
            } else {
                time_.WaitUntilUs(nextTickUs_);
                // A precise timer: the next tick is due a period after this one, or at once
                // when the tick took longer than a period.
                nextTickUs_ = std::max(nextTickUs_ + uint64_t{timerPeriodMs} * 1000, time_.NowUs());
                ++ticks;
                if (onTimer) {
                    onTimer();
                }
                nextTickUs_ = std::max(nextTickUs_, time_.NowUs());
            }
        }
        time_.WaitUntilUs(deadlineUs);
    }

    TimeSource time_;
    std::vector<Event> events_;
    uint64_t nextTickUs_ = 0;
};

// Virtual time: a wait advances the clock, which delivers whatever the virtual line and the
// simulated devices have scheduled by then.
class VirtualTime {
  public:
    // Not explicit: a virtual-time view is made from its clock.
    VirtualTime(VirtualClock& clock) : clock_(&clock) {}
    uint64_t NowUs() const { return clock_->NowUs(); }
    void WaitUntilUs(uint64_t timeUs) { clock_->AdvanceToUs(timeUs); }

  private:
    VirtualClock* clock_;
};

// Real time on the steady clock, counted from the view's making: a wait sleeps, as a window's
// event loop does between its events, so that a controller on a real port uses no CPU meanwhile.
class RealTime {
  public:
    uint64_t NowUs() const {
        const auto elapsed = std::chrono::steady_clock::now() - origin_;
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
    }
    void WaitUntilUs(uint64_t timeUs) {
        std::this_thread::sleep_until(origin_ +
                                      std::chrono::microseconds(static_cast<int64_t>(timeUs)));
    }

  private:
    std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
};

// The window in the scenario tests, the fuzz targets and the micro benchmarks' Start.
using VirtualTimeView = RecordingView<VirtualTime>;
// The window of a controller on a real port and the system clock (end-to-end tests).
using RealTimeView = RecordingView<RealTime>;
