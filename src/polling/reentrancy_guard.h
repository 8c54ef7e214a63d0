// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <vector>

// The re-entrancy rules of the window's one thread, in one place. Start and the poll tick run
// their waits with the window's events dispatched, so clicks and ticks arrive inside them: no
// Start inside a Start and no tick inside a tick (the controller ignores them), a Stop ends the
// running Start or tick at its next wait, and the other commands that arrive during a tick run
// after it, never in the middle of its exchange.
class ReentrancyGuard {
  public:
    enum class Activity { kNone, kStart, kTick };

    // Marks a Start or a tick for its lifetime.
    class [[nodiscard]] Scope {
      public:
        Scope(ReentrancyGuard& guard, Activity activity);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        ReentrancyGuard& guard_;
        Activity previous_;
        bool previousStop_;
    };

    bool Starting() const { return activity_ == Activity::kStart; }
    bool InTick() const { return activity_ == Activity::kTick; }

    // A Stop arrived: the running Start or tick is to end at its next wait.
    void NoteStop() { stopped_ = activity_ != Activity::kNone; }
    // Whether a Stop arrived since the running Start or tick began.
    const bool& Stopped() const { return stopped_; }

    // Keeps a command that arrives during a tick, to run after it; false when none runs.
    bool DeferDuringTick(std::function<void()> command);
    // Runs the kept commands, in the order they came, once no tick runs.
    void RunDeferred();

  private:
    Activity activity_ = Activity::kNone;
    bool stopped_ = false;
    std::vector<std::function<void()>> deferred_;
};
