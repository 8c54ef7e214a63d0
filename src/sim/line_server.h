// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/far_end_port.h"
#include "platform/line_settings.h"
#include "sim/simulated_transducer.h"

// Serves a simulated transducer on the far end of a real line, in real time: what arrives is
// stamped with the port's clock and the settings it was sent at (as far as the port can tell)
// and handed to the device; the device's answers are written when their start time has come,
// never before; a real port follows the settings the device listens at.
class LineServer {
  public:
    using TraceSink = std::function<void(const std::string& line)>;

    LineServer(SimulatedTransducer& device, FarEndPort& port);
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    // Each burst heard and each answer sent, in hex with the time since the start, and each
    // change of the settings the device listens at.
    void SetTrace(TraceSink sink) { trace_ = std::move(sink); }
    // Drops what comes back of the device's own answers (a two-wire RS-485 adapter that hears
    // its own transmitter).
    void SetEchoSuppression(bool on) { suppressEcho_ = on; }

    // One round: waits at most maxWaitMs for bytes (less when an answer falls due sooner),
    // hands what arrived to the device, lets it handle what is due and writes the answers
    // whose start time has come.
    void ServeOnce(uint32_t maxWaitMs);
    // Rounds of at most roundMs until keepGoing() says no.
    void Run(const std::function<bool()>& keepGoing, uint32_t roundMs = 2);

    // Answers scheduled and not yet written.
    size_t PendingAnswers() const { return answers_.size(); }
    uint64_t bytesHeard = 0;
    uint64_t answersWritten = 0;
    uint64_t echoBytesDropped = 0;

  private:
    struct Answer {
        std::vector<uint8_t> bytes;
        LineSettings settings;
        uint64_t startUs = 0;
    };

    void Hear(const uint8_t* bytes, size_t count, const LineSettings& sentAt, uint64_t nowUs);
    void WriteDue(uint64_t nowUs);
    void FollowDevice();
    void FlushHeardTrace();
    void Trace(uint64_t atUs, const std::string& arrow, const std::vector<uint8_t>& bytes,
               const LineSettings& settings, bool framingKnown);
    void TraceListening();

    SimulatedTransducer& device_;
    FarEndPort& port_;
    TraceSink trace_;
    bool suppressEcho_ = false;
    uint64_t originUs_ = 0;
    std::deque<Answer> answers_;
    LineSettings listening_;
    bool listeningTraced_ = false;
    SimulatedTransducer::Phase tracedPhase_ = SimulatedTransducer::Phase::kOwnSettings;

    // The last answer's bytes whose echo has not come back yet, the time by which it is due, and
    // the bytes heard so far that match it (held back until the echo is whole).
    std::deque<uint8_t> echo_;
    uint64_t echoDeadlineUs_ = 0;
    std::vector<TimedByte> echoHeld_;

    // A burst being heard, traced as one line once the line has been quiet for a while.
    std::vector<uint8_t> heard_;
    uint64_t heardStartUs_ = 0;
    uint64_t heardLastUs_ = 0;
    LineSettings heardAt_;
};
