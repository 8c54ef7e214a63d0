// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <vector>

#include "platform/clock.h"
#include "platform/line_settings.h"

// Which way bytes went at the serial device.
enum class TrafficDirection : uint8_t { kSent, kReceived };

// How a frame's bytes are to be read: what the controller was doing when they passed.
enum class FrameKind : uint8_t {
    kWakeUp,       // the scan's zero bytes and what the line carried during the scan
    kModbusRtu,    // a Modbus RTU request or answer
    kModbusAscii,  // a Modbus ASCII request or answer
    kFt12,         // an IEC 60870-5-101 FT1.2 frame or a single E5
    kDiscarded,    // bytes read only to empty the line
};

// What the controller was doing, for the frame list and the poll rate.
enum class TrafficPhase : uint8_t {
    kIdle,
    kConfiguration,  // the wake-up scan and the configuration read
    kPolling,
    kClockSync,
    kDelayMeasurement,
    kRtcTest,
};

// The IEC 60870-5-101 field widths in bytes, for decoding the frames read with them.
struct FrameWidths {
    uint8_t linkAddress = 1;
    uint8_t commonAddress = 1;
    uint8_t cause = 1;
    uint8_t ioa = 2;

    friend bool operator==(const FrameWidths&, const FrameWidths&) = default;
};

// The line settings and the field widths in force for a frame. Frames share these records.
struct FrameContext {
    LineSettings line;
    FrameWidths widths;

    friend bool operator==(const FrameContext&, const FrameContext&) = default;
};

// No result was reported for the frame (every sent frame, and received bytes nobody checked).
// A code that neither the Modbus answer codes (0 to 4, 100 + e) nor the IEC-101 receive codes
// (0 to 7, 44 to 47, E5, FF for an unexpected answer) use.
inline constexpr uint8_t kNoFrameResult = 99;

// One recorded frame, as read back from the recorder. The bytes stay valid until the next
// recording call.
struct TrafficFrame {
    uint64_t sequence = 0;  // counts every frame since the recorder was made
    uint64_t timeUs = 0;    // Clock::MonotonicMicroseconds of the first byte's write or read
    TrafficDirection direction = TrafficDirection::kSent;
    FrameKind kind = FrameKind::kWakeUp;
    TrafficPhase phase = TrafficPhase::kIdle;
    // For received frames the code the exchange's check came to (Modbus answer codes, IEC-101
    // receive codes); kNoFrameResult otherwise.
    uint8_t result = kNoFrameResult;
    FrameContext context;
    std::span<const uint8_t> bytes;
};

// Counts over the whole session; they survive the dropping of old frames.
struct TrafficStatistics {
    uint64_t requests = 0;        // Modbus requests and FT1.2 frames sent
    uint64_t answersChecked = 0;  // requests whose answer was collected and checked
    uint64_t goodAnswers = 0;
    uint64_t noAnswer = 0;
    uint64_t shortOrGarbled = 0;  // too short, bad framing, bad start or end character
    uint64_t checksumErrors = 0;
    std::map<uint8_t, uint64_t> modbusExceptions;  // exception code -> count
    std::map<uint8_t, uint64_t> iecReceiveCodes;   // IEC-101 receive code -> count
    // Requests sent while polling, the first's and the last's time, the period asked for.
    uint64_t pollRequests = 0;
    uint64_t firstPollUs = 0;
    uint64_t lastPollUs = 0;
    uint32_t pollPeriodMs = 0;
    // From a request's write to the read that first saw bytes of its answer.
    uint64_t responses = 0;
    uint64_t responseTotalUs = 0;
    uint64_t responseMinUs = 0;
    uint64_t responseMaxUs = 0;
    uint64_t droppedFrames = 0;

    // Poll requests per second between the first and the last; 0 before the second.
    double PollsPerSecond() const;
    // The rate the period asks for; 0 when no period is known.
    double TargetPollsPerSecond() const;
};

// Everything that passes the serial device, with a monotonic time stamp, the direction, the
// line settings in force and what the controller was doing, grouped into frames: one write is
// one frame; the reads of one answer collection make one frame, ended by the check's result
// or by the next write. Frames are kept as bytes (decoding is left to whoever shows or saves
// them) in at most kStoreBudget bytes; when that is full the oldest are dropped and counted.
class TrafficRecorder {
  public:
    // Headers, index and bytes of the stored frames, at most: about 100,000 Modbus frames, and
    // with the recorder's own bookkeeping still under 4 MB.
    static constexpr size_t kStoreBudget = 3'900'000;

    explicit TrafficRecorder(Clock& clock);
    TrafficRecorder(const TrafficRecorder&) = delete;
    TrafficRecorder& operator=(const TrafficRecorder&) = delete;

    // Recording, at the serial device's edge.
    void RecordWrite(std::span<const uint8_t> bytes);
    void RecordRead(std::span<const uint8_t> bytes);
    // Ends the frame being collected, if any, with the check's result, and counts the result
    // against the request awaiting its answer.
    void EndAnswer(uint8_t result);
    // What the bytes that follow are; ends a received frame of another kind.
    void SetKind(FrameKind kind);
    void SetPhase(TrafficPhase phase);
    void SetLine(const LineSettings& line);
    void SetWidths(const FrameWidths& widths);
    void SetPollPeriod(uint32_t milliseconds) { statistics_.pollPeriodMs = milliseconds; }

    FrameKind Kind() const { return kind_; }
    TrafficPhase Phase() const { return phase_; }

    // Reading back. Sequences from FirstSequence() up to EndSequence() are stored; the last of
    // them may still grow while it is not complete (frames before CompleteEnd() are).
    uint64_t FirstSequence() const { return firstSequence_; }
    uint64_t EndSequence() const { return firstSequence_ + storedFrames_; }
    uint64_t CompleteEnd() const { return openFrame_ ? EndSequence() - 1 : EndSequence(); }
    TrafficFrame Frame(uint64_t sequence) const;
    const TrafficStatistics& Statistics() const { return statistics_; }
    // The calendar time (UTC, milliseconds since 1970) that corresponds to time stamp 0.
    int64_t UnixMsAtZero() const { return unixMsAtZero_; }
    // The same in local time (the zone's offset added), for showing a time of day.
    int64_t LocalMsAtZero() const { return localMsAtZero_; }
    // Bytes the stored frames take, their headers and index included.
    size_t StoredBytes() const { return storedBytes_; }

    // Forgets the frames and the statistics; what is in force stays.
    void Clear();

  private:
    struct Block {
        uint64_t firstSequence = 0;
        std::vector<uint8_t> bytes;     // headers and frame bytes one after the other
        std::vector<uint32_t> offsets;  // where each frame's header begins
    };

    void BeginFrame(TrafficDirection direction, uint64_t timeUs);
    void AppendToOpenFrame(std::span<const uint8_t> bytes);
    void MoveOpenFrameToNewBlock(size_t room);
    void CloseFrame(uint8_t result);
    size_t FrameSizeOfOpen() const;
    // Drops the oldest blocks until incoming more bytes fit the budget.
    void DropOldest(size_t incoming = 0);
    uint16_t ContextIndex();
    void CountResult(uint8_t result);

    Clock& clock_;
    int64_t unixMsAtZero_ = 0;
    int64_t localMsAtZero_ = 0;
    std::deque<Block> blocks_;
    std::vector<FrameContext> contexts_;
    FrameContext current_;
    FrameKind kind_ = FrameKind::kWakeUp;
    TrafficPhase phase_ = TrafficPhase::kIdle;
    uint64_t firstSequence_ = 0;
    uint64_t storedFrames_ = 0;
    size_t storedBytes_ = 0;
    bool openFrame_ = false;
    // The request awaiting its answer: whether there is one, when it was written, and whether
    // a read has seen bytes since.
    bool awaiting_ = false;
    bool answerSeen_ = false;
    uint64_t requestUs_ = 0;
    TrafficStatistics statistics_;
};
