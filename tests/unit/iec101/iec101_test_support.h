// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "channel/serial_channel.h"
#include "iec101/iec101_master.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"
#include "support/hex.h"

// A far end that answers each write of the program with the next scripted answer (an empty
// answer: silence), 1 ms after the write's last byte.
class ScriptedPeer : public LinePeer {
  public:
    explicit ScriptedPeer(VirtualLine& line) : line_(line) {}
    void OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) override {
        if (answers.empty() || bytes.empty()) {
            return;
        }
        const std::vector<uint8_t> answer = answers.front();
        answers.pop_front();
        if (!answer.empty()) {
            line_.SendToProgram(answer, sentAt, bytes.back().timeUs + 1000);
        }
    }
    std::deque<std::vector<uint8_t>> answers;

  private:
    VirtualLine& line_;
};

// A master on a virtual line, in virtual time.
struct MasterBench {
    MasterBench() {
        device.Open("ttyV0");
        master.SetPort(channel);
    }
    // Every frame the master wrote, in order.
    std::vector<std::vector<uint8_t>> Written() const {
        std::vector<std::vector<uint8_t>> frames;
        for (const auto& w : line.Writes()) {
            frames.push_back(w.bytes);
        }
        return frames;
    }
    // Bytes that reach the program from now on, starting at virtual time startUs.
    void SendToMaster(const std::vector<uint8_t>& bytes, uint64_t startUs) {
        line.SendToProgram(bytes, LineSettings{}, startUs);
    }

    VirtualClock clock;
    VirtualLine line{clock, "ttyV0"};
    VirtualSerialDevice device{line};
    SerialChannel channel{device, clock};
    Iec101Results results;
    Iec101Master master{results};
};
