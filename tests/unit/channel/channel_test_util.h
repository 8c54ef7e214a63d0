// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/hex.h"

// The characters of a text as bytes.
inline std::vector<uint8_t> Chars(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

#include <functional>
#include <optional>

#include "channel/line_mode.h"
#include "platform/virtual/virtual_line.h"

// Line settings from a mode string.
inline LineSettings Mode(const char* text) {
    return ParseModeString(text, LineSettings{});
}

// Whether a receiver at b reads a character sent at a correctly.
inline bool SameFraming(const LineSettings& a, const LineSettings& b) {
    return a.baudRate == b.baudRate && a.dataBits == b.dataBits && a.parity == b.parity;
}

// A far end driven by the test: it hears the program's writes only when they were sent at one of
// the settings it listens at (anything else is noise to it and is counted, not seen), and may
// answer each write it hears, after replyDelayUs, at answersAt.
class ScriptedPeer : public LinePeer {
  public:
    using Script = std::function<std::optional<std::vector<uint8_t>>(
        const std::vector<uint8_t>& heard, const LineSettings& sentAt)>;

    ScriptedPeer(VirtualLine& line, std::vector<LineSettings> listensAt, LineSettings answersAt,
                 Script script)
        : line_(line),
          listensAt_(std::move(listensAt)),
          answersAt_(answersAt),
          script_(std::move(script)) {
        line_.AttachPeer(this);
    }
    ~ScriptedPeer() override { line_.AttachPeer(nullptr); }

    void OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) override {
        bool heard = false;
        for (const LineSettings& s : listensAt_) {
            heard = heard || SameFraming(s, sentAt);
        }
        if (!heard || bytes.empty()) {
            ++noiseWrites;
            return;
        }
        std::vector<uint8_t> values;
        for (const TimedByte& b : bytes) {
            values.push_back(b.value);
        }
        if (auto reply = script_(values, sentAt)) {
            line_.SendToProgram(*reply, answersAt_, bytes.back().timeUs + replyDelayUs);
        }
    }

    uint64_t replyDelayUs = 5000;
    int noiseWrites = 0;

  private:
    VirtualLine& line_;
    std::vector<LineSettings> listensAt_;
    LineSettings answersAt_;
    Script script_;
};
