// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "platform/clock.h"
#include "platform/line_settings.h"
#include "platform/virtual/virtual_line.h"

// One information object of the simulated controlled station.
struct Iec101StationObject {
    uint32_t ioa = 0;
    float value = 0;    // sent by the floating-point types 13, 14, 36 and 145
    uint16_t code = 0;  // sent by the 16-bit types 9, 10, 21, 34, 35 and 143
    // Interrogation group 1 to 16; 0: answered by the station interrogation only (and, with
    // stationObjectsInGroups, by every group interrogation as well).
    uint8_t group = 0;
};

struct Iec101StationConfig {
    uint16_t linkAddress = 1;  // link address and common address of the ASDUs
    uint8_t addressWidth = 1;  // 1 or 2 bytes
    uint8_t ioaWidth = 2;      // 1 to 3 bytes
    uint8_t causeWidth = 1;    // 1 or 2 bytes (the second is the originator address)
    // Type of the measured values: 9, 10, 13, 14, 21, 34, 35, 36, 143 or 145. The time-tagged
    // types carry the station's clock at the moment the answer leaves.
    uint8_t valueType = 13;
    std::vector<Iec101StationObject> objects;
    // Most objects in one ASDU; 0: as many as one frame holds.
    size_t maxObjectsPerAsdu = 0;
    // Types 9, 13 and 21: send runs of consecutive addresses (step 1, or 2 for type 13) as
    // sequences (SQ = 1). The block types 143 and 145 are always sent as sequences.
    bool useSequences = false;
    // Objects of group 0 belong to every group interrogation too, as the master awaits them.
    bool stationObjectsInGroups = true;
    // A class 2 request that finds the queue empty is answered with all values (cause 1,
    // periodic) instead of "no data".
    bool periodicWhenEmpty = false;
    // Initial station clock minus the Clock's UTC, in milliseconds.
    int64_t clockOffsetMs = 0;
};

// Ways the station can misbehave, for tests of the master's handling.
struct Iec101StationFaults {
    bool silent = false;                // answers nothing at all
    bool acdInAnswers = false;          // sets ACD (0x20) in the control field of every answer
    bool e5InsteadOfData = false;       // answers class 2 requests with E5 although data is due
    bool negativeConfirmation = false;  // confirms commands negatively (P/N bit set)
    bool acknowledgeWithE5 = false;     // E5 instead of the fixed acknowledge frame
    bool statusWithE5 = false;          // E5 instead of the status-of-link frame
    bool noDataAsE5 = false;            // E5 instead of the fixed "no data" frame (function 9)
    bool acdInUserData = false;         // sets ACD in user-data answers only (control 0x28)
    bool noTermination = false;         // an interrogation ends without its termination
    // 44 to 47: every command that awaits an answer comes back mirrored with this cause, as if
    // the station did not know its type, cause, common address or object address.
    uint8_t commandCause = 0;
};

// An IEC 60870-5-101 controlled station in unbalanced mode (FT1.2), as the master of the
// programs expects one: request status of link, reset of remote link with the FCB check, class
// 2 data from a queue, station and group interrogation, the read command, clock
// synchronisation, delay acquisition, and mirrored answers with causes 44 to 47 for what it
// does not know. Everything it sends on its own initiative waits in the queue for a class 2
// request. Independent of the transport: bytes in, answer bytes out.
class Iec101Station {
  public:
    struct Counters {
        int statusRequests = 0;
        int resets = 0;
        int class2Requests = 0;
        int repetitions = 0;  // frames whose FCB did not alternate: the last answer repeated
        int interrogations = 0;
        int reads = 0;
        int clockSyncs = 0;
        int delayAcquisitions = 0;
        int ignoredFrames = 0;  // damaged, or addressed to another station
    };

    Iec101Station(Iec101StationConfig config, Clock& clock);

    // Bytes received from the master; returns the answer bytes to send (empty: no answer).
    // Frames may be split across calls or several may come in one. lagMs says how long ago the
    // last byte arrived, so that the clock readings refer to that moment.
    std::vector<uint8_t> Consume(std::span<const uint8_t> bytes, uint32_t lagMs = 0);
    // Drops a partly received frame (after a silence on the line).
    void DiscardPartialFrame() { rx_.clear(); }
    // A restart: the link is to be reset again and nothing waits in the queue.
    void Restart();

    Iec101StationFaults faults;
    Counters counters;

    std::vector<Iec101StationObject>& Objects() { return config_.objects; }
    const Iec101StationConfig& Config() const { return config_; }
    // Called right before values are encoded, so that a device model can refresh them.
    void SetValueProvider(std::function<void(std::vector<Iec101StationObject>&)> provider) {
        valueProvider_ = std::move(provider);
    }

    // The station's clock: the Clock's UTC plus the offset that clock synchronisation sets.
    SystemTime ClockTime();
    int64_t ClockOffsetMs() const { return config_.clockOffsetMs; }
    void SetClockOffsetMs(int64_t offsetMs) { config_.clockOffsetMs = offsetMs; }
    // The delay the master transferred last (type 106, cause 3), 0 until then.
    uint16_t TransferDelayMs() const { return transferDelayMs_; }
    size_t QueuedAnswers() const { return queue_.size(); }

  private:
    enum class PendingKind { kReady, kValues, kDelayConfirmation };
    struct Pending {
        PendingKind kind = PendingKind::kReady;
        std::vector<uint8_t> asdu;    // kReady: the finished ASDU
        uint8_t cause = 0;            // kValues
        std::vector<size_t> objects;  // kValues: object indexes of one ASDU
        bool sequence = false;        // kValues: first IOA only, the rest stepped
        bool interrogation = false;   // part of a running interrogation
        uint16_t sendTime = 0;        // kDelayConfirmation: the master's send time
        int64_t receivedMs = 0;       // kDelayConfirmation: when the activation arrived
    };

    std::vector<uint8_t> HandleFrame(std::span<const uint8_t> frame);
    std::vector<uint8_t> HandleAsdu(std::span<const uint8_t> asdu, bool wantsData);
    void ProcessCommand(std::span<const uint8_t> asdu);
    void QueueMirror(std::span<const uint8_t> asdu, uint8_t cause);
    void QueueValues(const std::vector<size_t>& selected, uint8_t cause, bool interrogation);
    std::vector<uint8_t> Class2Answer();
    std::vector<uint8_t> EncodePending(const Pending& pending);
    // FCB check of a frame with FCV set: true for a new frame, false for a repetition.
    bool AcceptFcb(bool fcb);

    std::vector<uint8_t> FixedFrame(uint8_t control) const;
    std::vector<uint8_t> VariableFrame(uint8_t control, const std::vector<uint8_t>& asdu) const;
    std::vector<uint8_t> AsduHeader(uint8_t type, uint8_t vsq, uint8_t cause) const;
    void AppendIoa(std::vector<uint8_t>& out, uint32_t ioa) const;
    void AppendElement(std::vector<uint8_t>& out, const Iec101StationObject& object) const;
    void AppendCp56(std::vector<uint8_t>& out) const;
    size_t AddressBytes() const { return config_.addressWidth == 1 ? 1 : 2; }
    size_t CauseBytes() const { return config_.causeWidth == 1 ? 1 : 2; }
    size_t IoaBytes() const;
    int64_t NowUnixMs() const;
    uint8_t AnswerControl(uint8_t function) const;

    Iec101StationConfig config_;
    Clock& clock_;
    std::function<void(std::vector<Iec101StationObject>&)> valueProvider_;
    std::vector<uint8_t> rx_;
    std::deque<Pending> queue_;
    std::vector<uint8_t> lastAnswer_;
    enum class FcbState { kUnknown, kExpectZero, kExpectOne } fcbState_ = FcbState::kUnknown;
    uint8_t originator_ = 0;
    uint16_t transferDelayMs_ = 0;
    uint32_t lagMs_ = 0;
};

// Serves an Iec101Station on a virtual line: frames are handled when their last byte has
// arrived, answers start a turnaround time after it. Bytes sent at other line settings than
// the station's are not understood and dropped.
class Iec101StationPeer : public LinePeer {
  public:
    Iec101StationPeer(Iec101Station& station, VirtualLine& line, const LineSettings& settings,
                      uint64_t turnaroundUs = 2000);
    void OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) override;
    void OnTime(uint64_t nowUs) override;

    LineSettings settings;
    uint64_t turnaroundUs;

  private:
    Iec101Station& station_;
    VirtualLine& line_;
    std::deque<TimedByte> pending_;
    uint64_t lastByteUs_ = 0;
};
