// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "platform/virtual/virtual_line.h"
#include "scenario/scenario_bench.h"

// Whether a write of the program is an IEC-101 frame (everything else it writes is Modbus or
// the wake-up pattern).
inline bool IsIecFrame(const std::vector<uint8_t>& bytes) {
    return !bytes.empty() && (bytes[0] == 0x10 || bytes[0] == 0x68);
}

// Stands between the program and a bench's simulated transducer: the writes that `takes` picks
// go to `other` instead, the rest to the simulated transducer as before; both see time pass.
// The simulated transducer gets the line back when this peer ends.
class DivertingPeer : public LinePeer {
  public:
    using Picker = std::function<bool(const std::vector<uint8_t>& write)>;

    DivertingPeer(ScenarioBench& bench, LinePeer& other, Picker takes)
        : bench_(bench), other_(other), takes_(std::move(takes)) {
        bench_.line.AttachPeer(this);
    }
    ~DivertingPeer() override { bench_.line.AttachPeer(&bench_.peer); }
    DivertingPeer(const DivertingPeer&) = delete;
    DivertingPeer& operator=(const DivertingPeer&) = delete;

    void OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) override {
        std::vector<uint8_t> values;
        for (const TimedByte& b : bytes) {
            values.push_back(b.value);
        }
        if (takes_(values)) {
            other_.OnReceive(bytes, sentAt);
        } else {
            bench_.peer.OnReceive(bytes, sentAt);
        }
    }
    void OnTime(uint64_t nowUs) override {
        bench_.peer.OnTime(nowUs);
        other_.OnTime(nowUs);
    }

  private:
    ScenarioBench& bench_;
    LinePeer& other_;
    Picker takes_;
};

// A far end played by the test: every write it gets is handed to onFrame at the moment its last
// byte has arrived (with that moment and the settings it was sent at); the script answers with
// Send.
class ScriptedFarEnd : public LinePeer {
  public:
    struct Frame {
        std::vector<uint8_t> bytes;
        uint64_t endUs = 0;
        LineSettings settings;
    };

    explicit ScriptedFarEnd(VirtualLine& line) : line_(line) {}

    void OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) override {
        if (bytes.empty()) {
            return;
        }
        Frame frame;
        for (const TimedByte& b : bytes) {
            frame.bytes.push_back(b.value);
        }
        frame.endUs = bytes.back().timeUs;
        frame.settings = sentAt;
        pending_.push_back(std::move(frame));
    }
    void OnTime(uint64_t nowUs) override {
        while (!pending_.empty() && pending_.front().endUs <= nowUs) {
            Frame frame = std::move(pending_.front());
            pending_.pop_front();
            frames.push_back(frame);
            if (onFrame) {
                onFrame(frames.back());
            }
        }
    }
    // Sends bytes starting at startUs; returns the arrival time of the last byte.
    uint64_t Send(const std::vector<uint8_t>& bytes, const LineSettings& settings,
                  uint64_t startUs) {
        return line_.SendToProgram(bytes, settings, startUs);
    }

    std::function<void(const Frame&)> onFrame;
    // Every frame handled so far, in order.
    std::vector<Frame> frames;

  private:
    VirtualLine& line_;
    std::deque<Frame> pending_;
};
