#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "polling/dialog_view.h"

// The main window in real time, for a controller on a real port: records what the controller
// shows, and runs the poll timer while the controller pumps messages or the test lets time
// pass, sleeping between ticks as a window's event loop does.
class RealTimeView : public DialogView {
  public:
    using Clock = std::chrono::steady_clock;

    // What a tick does (normally the controller's OnTimer(1)).
    std::function<void()> onTimer;

    // Lets real time pass for ms, dispatching the timer's ticks.
    void RunFor(uint32_t ms) { Dispatch(Clock::now() + std::chrono::milliseconds(ms)); }

    void SetText(ViewText role, const std::string& text) override {
        texts[role] = text;
        if (role == ViewText::kStatusLine) {
            statusHistory.push_back(text);
        }
    }
    std::string Text(ViewText role) const override {
        const auto it = texts.find(role);
        return it == texts.end() ? std::string() : it->second;
    }
    void SetCaption(int slot, const std::string& text) override { captions.at(slot) = text; }
    void SetValue(int slot, const std::string& text) override { values.at(slot) = text; }
    void EnableControl(ViewControl control, bool on) override { enabled[control] = on; }
    void ShowFrame(ViewFrame, bool) override {}
    void SetFocus(ViewControl) override {}
    void Repaint() override {}
    bool IsChecked(ViewControl control) const override {
        const auto it = checked.find(control);
        return it != checked.end() && it->second;
    }
    void SetChecked(ViewControl control, bool on) override { checked[control] = on; }
    int PollKind() const override { return 0; }
    int GroupSelection() const override { return 0; }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon) override {
        messages.push_back({text, caption});
    }
    std::optional<std::string> ChooseLogFile() override { return std::nullopt; }
    void ArmTimer(uint32_t periodMs) override {
        timerArmed = true;
        period_ = std::chrono::milliseconds(periodMs);
        nextTick_ = Clock::now() + period_;
    }
    void KillTimer() override { timerArmed = false; }
    void PumpMessagesFor(uint32_t milliseconds) override {
        Dispatch(Clock::now() + std::chrono::milliseconds(milliseconds));
    }
    // A tick held back stays due: the next dispatch delivers it at once.
    void PumpMessagesHoldingTimer(uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    struct Message {
        std::string text;
        std::string caption;
    };

    std::map<ViewText, std::string> texts;
    std::vector<std::string> statusHistory;
    std::array<std::string, 9> captions;
    std::array<std::string, 9> values;
    std::map<ViewControl, bool> enabled;
    std::map<ViewControl, bool> checked;
    std::vector<Message> messages;
    bool timerArmed = false;
    int ticks = 0;

  private:
    void Dispatch(Clock::time_point deadline) {
        for (;;) {
            if (!timerArmed || nextTick_ > deadline) {
                std::this_thread::sleep_until(deadline);
                return;
            }
            std::this_thread::sleep_until(nextTick_);
            // The next tick a period after this one, or at once when the tick took longer.
            nextTick_ = std::max(nextTick_ + period_, Clock::now());
            ++ticks;
            if (onTimer) {
                onTimer();
            }
        }
    }

    std::chrono::milliseconds period_{500};
    Clock::time_point nextTick_;
};
