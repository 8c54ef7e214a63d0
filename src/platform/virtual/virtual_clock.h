// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/clock.h"

// A clock for tests on which waits take no real time. Time is kept in microseconds; Sleep and
// Yield advance it, and every advance is announced to the listeners (the virtual line and the
// simulated devices), which deliver whatever they have scheduled up to the new time.
class VirtualClock : public Clock {
  public:
    using Listener = std::function<void(uint64_t nowUs)>;

    // tickOrigin is the tick count at virtual time 0 (to test the 32-bit wrap); unixMsAtStart
    // the UTC calendar time at virtual time 0; localOffsetMinutes the local zone's offset.
    explicit VirtualClock(uint32_t tickOrigin = 1'000'000,
                          int64_t unixMsAtStart = 1'710'331'200'000,
                          int32_t localOffsetMinutes = 180);

    uint32_t TickCount() override;
    uint64_t MonotonicMicroseconds() override { return nowUs_; }
    void Sleep(uint32_t milliseconds) override;
    void Yield() override;
    SystemTime UtcTime() override;
    SystemTime LocalTime() override;
    void BeginTimerResolution(uint32_t milliseconds) override;
    void EndTimerResolution(uint32_t milliseconds) override;

    uint64_t NowUs() const { return nowUs_; }
    void AdvanceUs(uint64_t microseconds);
    void AdvanceToUs(uint64_t timeUs);

    // Registers a listener; returns its id for RemoveListener.
    int AddListener(Listener listener);
    void RemoveListener(int id);

    // How far one Yield moves time (a busy loop that yields must still see time pass).
    void SetYieldStepUs(uint64_t microseconds) { yieldStepUs_ = microseconds; }
    void SetUnixMsAtStart(int64_t unixMs) { unixMsAtStart_ = unixMs; }
    void SetLocalOffsetMinutes(int32_t minutes) { localOffsetMinutes_ = minutes; }

    // Timer-resolution requests still outstanding (Begin without End).
    int OutstandingTimerResolutions() const { return timerResolutionDepth_; }
    uint64_t SleepCount() const { return sleepCount_; }

  private:
    uint64_t nowUs_ = 0;
    uint32_t tickOrigin_;
    int64_t unixMsAtStart_;
    int32_t localOffsetMinutes_;
    uint64_t yieldStepUs_ = 1000;
    int timerResolutionDepth_ = 0;
    uint64_t sleepCount_ = 0;
    int nextListenerId_ = 1;
    bool notifying_ = false;
    std::vector<std::pair<int, Listener>> listeners_;
};
