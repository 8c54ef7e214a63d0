// SPDX-License-Identifier: MIT
#pragma once

// Stand-ins for the micro benchmarks: a port that replays a recorded answer, a clock that can be
// switched from the simulated world to a quiet one, the tests' recording window on that clock,
// and files that swallow what is written. Nothing here makes a system call, so that what a
// benchmark measures is the program's own work on the bytes.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_sink.h"
#include "platform/serial_device.h"
#include "platform/virtual/virtual_clock.h"
#include "support/recording_view.h"

// A port whose far end answers every write with the same recorded bytes; before the first
// answer is recorded it forwards to another device (the virtual line to a simulated transducer),
// when one is given.
class ReplayDevice : public SerialDevice {
  public:
    explicit ReplayDevice(SerialDevice* live = nullptr)
        : live_(live), replaying_(live == nullptr) {}

    // From now on every write is answered with these bytes, and they are queued once now.
    void Replay(std::vector<uint8_t> answer) {
        answer_ = std::move(answer);
        replaying_ = true;
        Queue();
    }
    // The recorded bytes are queued (again), as if the far end had just sent them.
    void Queue() {
        queued_ = answer_.size();
        readPos_ = 0;
    }
    uint64_t Writes() const { return writes_; }

    bool Open(const std::string& name) override { return replaying_ || live_->Open(name); }
    void Close() override {
        if (!replaying_) {
            live_->Close();
        }
    }
    bool IsOpen() const override { return replaying_ || live_->IsOpen(); }
    bool GetLine(LineSettings& s) override { return replaying_ || live_->GetLine(s); }
    bool SetLine(const LineSettings& s) override { return replaying_ || live_->SetLine(s); }
    size_t QueuedCount() override { return replaying_ ? queued_ - readPos_ : live_->QueuedCount(); }
    size_t Read(uint8_t* buffer, size_t maxCount) override {
        if (!replaying_) {
            return live_->Read(buffer, maxCount);
        }
        const size_t n = std::min(maxCount, queued_ - readPos_);
        std::copy_n(answer_.begin() + static_cast<std::ptrdiff_t>(readPos_), n, buffer);
        readPos_ += n;
        return n;
    }
    bool Write(const uint8_t* data, size_t count) override {
        if (!replaying_) {
            return live_->Write(data, count);
        }
        ++writes_;
        Queue();
        return true;
    }
    bool WaitTransmitEmpty(uint32_t timeoutMs) override {
        return replaying_ || live_->WaitTransmitEmpty(timeoutMs);
    }

  private:
    SerialDevice* live_;
    bool replaying_;
    std::vector<uint8_t> answer_;
    size_t queued_ = 0;
    size_t readPos_ = 0;
    uint64_t writes_ = 0;
};

// A clock that forwards to one of two virtual clocks: the one the simulated transducer listens
// to (while a Start runs), then a quiet one without listeners.
class SwitchClock : public Clock {
  public:
    explicit SwitchClock(VirtualClock& first) : current_(&first) {}
    void SwitchTo(VirtualClock& clock) { current_ = &clock; }
    VirtualClock& Current() { return *current_; }

    uint32_t TickCount() override { return current_->TickCount(); }
    uint64_t MonotonicMicroseconds() override { return current_->MonotonicMicroseconds(); }
    void Sleep(uint32_t ms) override { current_->Sleep(ms); }
    void Yield() override { current_->Yield(); }
    SystemTime UtcTime() override { return current_->UtcTime(); }
    SystemTime LocalTime() override { return current_->LocalTime(); }

  private:
    VirtualClock* current_;
};

// Files that count and drop what is written.
class NullFileSystem : public FileSystem {
  public:
    uint64_t bytes = 0;
    std::unique_ptr<FileSink> Create(const std::string&) override {
        return std::make_unique<Sink>(bytes);
    }
    std::unique_ptr<FileSink> OpenForAppend(const std::string&) override { return nullptr; }

  private:
    class Sink : public FileSink {
      public:
        explicit Sink(uint64_t& bytes) : bytes_(bytes) {}
        bool Write(std::string_view text) override {
            bytes_ += text.size();
            return true;
        }
        bool Flush() override { return true; }

      private:
        uint64_t& bytes_;
    };
};

// The bench's time: that of the clock the switch forwards to at the moment.
class SwitchedTime {
  public:
    // Not explicit: the bench's view is made from the switch.
    SwitchedTime(SwitchClock& clock) : clock_(&clock) {}
    uint64_t NowUs() const { return clock_->Current().NowUs(); }
    void WaitUntilUs(uint64_t timeUs) { clock_->Current().AdvanceToUs(timeUs); }

  private:
    SwitchClock* clock_;
};

// The window as the controller sees it: its waits let the current virtual time run; its poll
// timer has no handler, the rig ticks the controller itself. The rig chooses the log and turns
// keepStatusHistory off, so that the view keeps each text as a widget would (a copy) and
// nothing grows with the iterations.
using BenchView = RecordingView<SwitchedTime>;
