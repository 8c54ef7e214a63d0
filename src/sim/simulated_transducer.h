// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/line_settings.h"
#include "platform/virtual/virtual_line.h"
#include "sim/fault_plan.h"
#include "sim/iec101_station.h"
#include "sim/transducer_profiles.h"

// Faults of the configuration phase and a mute transducer. The faults of the polls, one request
// at a time, are planned with a FaultPlan.
struct SimFaults {
    bool silent = false;                  // answers nothing
    int ignoreConfigurationRequests = 0;  // the next n configuration requests go unanswered
    std::optional<size_t> recordLength;   // the record is cut to this many bytes
    bool refuseRtcTest = false;           // the RTC test request gets an exception answer
};

// A measuring transducer as the programs expect one on the line. It listens at its own line
// settings, wakes on the wake-up pattern (zero bytes) into its configuration phase at
// 19200,E,8,1, where it answers the configuration request (function 100 with the access value)
// with its record and leaves the phase on function 127, changing over to its own settings. In
// its own settings it is a Modbus slave (ASCII or RTU: function 4 reads its live values and
// clock, function 16 sets its clock) or, in exchange mode 4, sends its values unasked.
//
// It is independent of the transport: bytes come in with their arrival times in microseconds,
// answers go out through the output function with the settings and the time they start at.
class SimulatedTransducer {
  public:
    enum class Phase { kOwnSettings, kConfiguration };

    using Output = std::function<void(const std::vector<uint8_t>& bytes,
                                      const LineSettings& settings, uint64_t startUs)>;

    SimulatedTransducer(SimProfile profile, Clock& clock);

    void SetOutput(Output output) { output_ = std::move(output); }
    // Whether the parity and data bits of what arrives can be judged (not on a pseudo-terminal).
    void SetJudgeFraming(bool judge) { judgeFraming_ = judge; }
    // Shortest silence that ends a frame.
    void SetMinimumFrameGapUs(uint64_t us) { minFrameGapUs_ = us; }
    // Extra time before every answer leaves: the latency of the way to the program (a
    // pseudo-terminal, a USB adapter, a radio modem).
    void SetAnswerDelayUs(uint64_t us) { answerDelayUs_ = us; }

    // Bytes heard on the line, sent at the given settings.
    void Receive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt);
    // Handles everything due up to nowUs (frames that have ended, the change-over, ...).
    void AdvanceTo(uint64_t nowUs);

    Phase CurrentPhase() const { return phase_; }
    const LineSettings& CurrentSettings() const { return settings_; }
    const SimProfile& Profile() const { return profile_; }
    SimFaults& Faults() { return faults_; }
    // The faults planned for the requests heard at its own settings.
    FaultPlan& Plan() { return plan_; }
    // Plans a fault for the next `requests` requests (0: all that follow).
    void InjectFault(SimFault kind, uint32_t requests = 1, uint32_t amount = 0);
    // Told of each planned fault as it touches a request.
    using FaultObserver = std::function<void(uint32_t request, const PlannedFault& fault)>;
    void SetFaultObserver(FaultObserver observer) { faultObserver_ = std::move(observer); }

    // The transducer's clock as a calendar reading (it keeps no time zone).
    SystemTime ClockTime();
    // The physical value of parameter i at the current time.
    double PhysicalValue(size_t i);

    // The IEC 60870-5-101 controlled station it is in exchange modes 1 and 2.
    Iec101Station* Station() { return station_.get(); }

    // Counters for tests.
    int configurationReads = 0;
    int wakeUps = 0;
    int pollsAnswered = 0;
    int clockWrites = 0;
    bool rtcTestMode = false;    // entered on the RTC test request
    uint32_t requestsHeard = 0;  // frames heard at its own settings: the requests of the plan
    int faultsApplied = 0;
    int reboots = 0;

  private:
    struct Heard {
        TimedByte byte;
        LineSettings sentAt;
    };
    // What the plan does to the request being handled.
    struct ActiveFaults {
        uint32_t request = 0;
        size_t noiseBefore = 0;
        size_t noiseAfter = 0;
        bool dropByte = false;
        bool badChecksum = false;
        uint64_t splitGapUs = 0;
        bool late = false;
        bool silence = false;
        uint8_t exceptionCode = 0;
        bool otherSlave = false;
        std::optional<uint32_t> rebootMs;
        bool negativeConfirmation = false;
        uint8_t commandCause = 0;
        bool acd = false;
        bool e5ForData = false;
    };
    struct HeldAnswer {
        std::vector<uint8_t> bytes;
        uint64_t splitGapUs = 0;
    };

    void HandleByte(const Heard& heard);
    void EndFrame(uint64_t endUs);
    void HandleFrame(const std::vector<uint8_t>& frame, uint64_t endUs);
    void HandleConfigurationFrame(const std::vector<uint8_t>& body, uint64_t endUs);
    void HandleModbusRequest(const std::vector<uint8_t>& body, uint64_t endUs, bool ascii);
    void NoteZeroByte(uint64_t timeUs);
    void HandleOwnSettingsFrame(const std::vector<uint8_t>& frame, uint64_t endUs);
    ActiveFaults FaultsFor(uint32_t request);
    void Reboot(uint64_t atUs, uint32_t deafMs);
    void EmitAnswer(std::vector<uint8_t> bytes, uint64_t startUs);
    void SendInPieces(const std::vector<uint8_t>& bytes, uint64_t startUs, uint64_t splitGapUs);
    void DamageChecksum(std::vector<uint8_t>& bytes) const;
    void Send(const std::vector<uint8_t>& bytes, uint64_t startUs);
    void SendModbus(const std::vector<uint8_t>& body, uint64_t startUs, bool ascii);
    std::optional<uint16_t> RegisterValue(uint32_t address);
    uint64_t FrameGapUs() const;
    bool Hears(const LineSettings& sentAt) const;
    int64_t UtcMs();

    SimProfile profile_;
    Clock& clock_;
    std::unique_ptr<Iec101Station> station_;
    std::vector<size_t> stationParameters_;  // parameter index of each station object
    Output output_;
    SimFaults faults_;
    FaultPlan plan_;
    FaultObserver faultObserver_;
    ActiveFaults active_;
    // The answer of the request being handled, collected so that the plan can damage it.
    bool capturing_ = false;
    std::vector<uint8_t> captured_;
    uint64_t capturedStartUs_ = 0;
    std::optional<HeldAnswer> held_;  // a late answer, sent after the next request
    uint64_t deafUntilUs_ = 0;        // after a reboot
    uint64_t answerDelayUs_ = 0;
    bool judgeFraming_ = true;
    uint64_t minFrameGapUs_ = 1750;
    Phase phase_ = Phase::kOwnSettings;
    LineSettings ownSettings_;
    LineSettings settings_;
    uint64_t nowUs_ = 0;
    uint64_t advanceTargetUs_ = 0;  // the time AdvanceTo is catching up with
    std::deque<Heard> incoming_;
    std::vector<uint8_t> frame_;
    uint64_t lastByteUs_ = 0;
    std::deque<uint64_t> zeroTimes_;
    std::optional<uint64_t> changeOverAtUs_;
    std::optional<uint64_t> nextBroadcastUs_;
    int64_t clockOffsetMs_ = 0;  // transducer clock minus UTC
    // Start of the simulation in UTC milliseconds: the phase of the value waves.
    int64_t startUtcMs_ = 0;
};

// Serves a simulated transducer on a virtual line.
class SimulatedTransducerPeer : public LinePeer {
  public:
    SimulatedTransducerPeer(SimulatedTransducer& device, VirtualLine& line);
    void OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) override;
    void OnTime(uint64_t nowUs) override;

  private:
    SimulatedTransducer& device_;
    VirtualLine& line_;
};
