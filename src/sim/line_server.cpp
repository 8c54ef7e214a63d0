// SPDX-License-Identifier: MIT
#include "sim/line_server.h"

#include <algorithm>
#include <cstdio>

#include "sim/sim_options.h"

namespace {

constexpr size_t kReadChunk = 4096;
// A burst of the trace ends after this much silence (a Modbus RTU frame ends after 3.5
// characters, a few milliseconds at most at the rates in use).
constexpr uint64_t kTraceGapUs = 5'000;
// How long after a write its echo may still come back.
constexpr uint64_t kEchoSlackUs = 100'000;

std::string TimeText(uint64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%6llu.%06llu",
                  static_cast<unsigned long long>(us / 1'000'000),
                  static_cast<unsigned long long>(us % 1'000'000));
    return text;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const uint8_t b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

}  // namespace

LineServer::LineServer(SimulatedTransducer& device, FarEndPort& port)
    : device_(device), port_(port) {
    originUs_ = port_.NowUs();
    device_.SetOutput(
        [this](const std::vector<uint8_t>& bytes, const LineSettings& settings, uint64_t startUs) {
            answers_.push_back({bytes, settings, startUs});
        });
    listening_ = device_.CurrentSettings();
    port_.Listen(listening_);
    tracedPhase_ = device_.CurrentPhase();
}

void LineServer::ServeOnce(uint32_t maxWaitMs) {
    if (trace_ && !listeningTraced_) {
        TraceListening();
    }
    uint64_t now = port_.NowUs();
    uint32_t waitMs = maxWaitMs;
    if (!answers_.empty()) {
        const uint64_t due = answers_.front().startUs;
        const uint64_t untilDueMs = due <= now ? 0 : (due - now + 999) / 1000;
        waitMs = static_cast<uint32_t>(std::min<uint64_t>(waitMs, untilDueMs));
    }
    if (port_.WaitReadable(waitMs)) {
        // The settings are taken before the read, as close as possible to the moment the bytes
        // were sent: a program may change its line right after writing.
        const LineSettings sentAt = port_.SenderLine();
        uint8_t buffer[kReadChunk];
        size_t n = 0;
        while ((n = port_.Read(buffer, sizeof buffer)) > 0) {
            Hear(buffer, n, sentAt, port_.NowUs());
            if (n < sizeof buffer) {
                break;
            }
        }
    }
    now = port_.NowUs();
    device_.AdvanceTo(now);
    WriteDue(now);
    FollowDevice();
    if (!heard_.empty() && now - heardLastUs_ >= kTraceGapUs) {
        FlushHeardTrace();
    }
}

void LineServer::Run(const std::function<bool()>& keepGoing, uint32_t roundMs) {
    while (keepGoing()) {
        ServeOnce(roundMs);
    }
    FlushHeardTrace();
}

void LineServer::Hear(const uint8_t* bytes, size_t count, const LineSettings& sentAt,
                      uint64_t nowUs) {
    std::vector<TimedByte> timed;
    timed.reserve(count);
    // Bytes that match the answer just written are held back until the whole answer has come
    // back: a request sent right after the answer starts with the same address and function,
    // and must not lose them.
    const auto releaseHeld = [&] {
        timed.insert(timed.end(), echoHeld_.begin(), echoHeld_.end());
        echoHeld_.clear();
        echo_.clear();
    };
    for (size_t i = 0; i < count; ++i) {
        if (suppressEcho_ && !echo_.empty()) {
            if (nowUs > echoDeadlineUs_) {
                releaseHeld();
            } else if (echo_.front() == bytes[i]) {
                echo_.pop_front();
                echoHeld_.push_back({nowUs, bytes[i]});
                if (echo_.empty()) {
                    echoBytesDropped += echoHeld_.size();  // the whole answer: its echo
                    echoHeld_.clear();
                }
                continue;
            } else {
                releaseHeld();  // not an echo after all: the line is the other side's now
            }
        }
        timed.push_back({nowUs, bytes[i]});
    }
    if (timed.empty()) {
        return;
    }
    bytesHeard += timed.size();
    if (trace_) {
        if (!heard_.empty() && (heardAt_ != sentAt || nowUs - heardLastUs_ >= kTraceGapUs)) {
            FlushHeardTrace();
        }
        if (heard_.empty()) {
            heardStartUs_ = nowUs;
            heardAt_ = sentAt;
        }
        for (const TimedByte& b : timed) {
            heard_.push_back(b.value);
        }
        heardLastUs_ = nowUs;
    }
    device_.Receive(timed, sentAt);
}

void LineServer::WriteDue(uint64_t nowUs) {
    while (!answers_.empty() && answers_.front().startUs <= nowUs) {
        const Answer answer = std::move(answers_.front());
        answers_.pop_front();
        FlushHeardTrace();
        if (answer.settings != listening_) {
            port_.Listen(answer.settings);
            listening_ = answer.settings;
        }
        if (trace_) {
            Trace(nowUs, "->", answer.bytes, answer.settings, true);
        }
        if (port_.Write(answer.bytes.data(), answer.bytes.size())) {
            ++answersWritten;
        }
        if (suppressEcho_) {
            echo_.insert(echo_.end(), answer.bytes.begin(), answer.bytes.end());
            echoDeadlineUs_ = port_.NowUs() +
                              answer.bytes.size() * CharTimeMicroseconds(answer.settings) +
                              kEchoSlackUs;
        }
    }
}

void LineServer::FollowDevice() {
    const LineSettings& wanted = device_.CurrentSettings();
    if (answers_.empty() && wanted != listening_) {
        port_.Listen(wanted);
        listening_ = wanted;
    }
    if (trace_ && (!listeningTraced_ || device_.CurrentPhase() != tracedPhase_)) {
        TraceListening();
    }
}

void LineServer::TraceListening() {
    listeningTraced_ = true;
    tracedPhase_ = device_.CurrentPhase();
    FlushHeardTrace();
    const bool configuration = tracedPhase_ == SimulatedTransducer::Phase::kConfiguration;
    trace_(TimeText(port_.NowUs() - originUs_) +
           " == " + (configuration ? "configuration phase" : "own settings") + ", listening at " +
           DescribeLine(device_.CurrentSettings()));
}

void LineServer::FlushHeardTrace() {
    if (heard_.empty() || !trace_) {
        heard_.clear();
        return;
    }
    Trace(heardStartUs_, "<-", heard_, heardAt_, port_.KnowsFraming());
    heard_.clear();
}

void LineServer::Trace(uint64_t atUs, const std::string& arrow, const std::vector<uint8_t>& bytes,
                       const LineSettings& settings, bool framingKnown) {
    trace_(TimeText(atUs - originUs_) + " " + arrow + " [" + DescribeLine(settings, framingKnown) +
           "] " + HexText(bytes));
}
