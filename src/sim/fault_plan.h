// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a bad line or a misbehaving transducer can do to one request.
enum class SimFault {
    kNoiseBefore,  // amount bytes of noise right before the answer (default 3)
    kNoiseAfter,   // amount bytes of noise right after it (default 3)
    kDropByte,     // the middle byte of the answer is lost
    kBadChecksum,  // the answer's CRC, LRC or FT1.2 sum is wrong
    kSplit,        // the answer stops half-way for amount ms (default 30)
    kLate,         // the answer is held back until the next request has arrived
    kSilence,      // the request is not heard and not answered
    kException,    // Modbus: an exception answer with code amount (default 6, busy)
    kOtherSlave,   // Modbus: the answer comes from the next slave address, checksum right
    kReboot,       // it restarts: deaf for amount ms (default 2000), then in its configuration
                   // phase at 19200,E,8,1
    // The IEC 60870-5-101 station:
    kNegativeConfirmation,  // activations and deactivations are confirmed negatively
    kUnknownCause,          // commands come back mirrored with cause amount (44 to 47)
    kAcd,                   // user-data answers carry ACD (control 0x28)
    kE5ForData,             // a lone E5 answers a class 2 request although data is due
};

// Which requests a fault touches. Requests are counted from 1, each frame the transducer hears
// at its own line settings; the count goes on across a Stop and a new Start.
struct FaultWindow {
    uint32_t fromRequest = 1;
    uint32_t requests = 0;           // how many from there; 0: all that follow
    uint32_t chancePpm = 1'000'000;  // chance of each request in the window, per million
};

struct PlannedFault {
    SimFault kind = SimFault::kSilence;
    FaultWindow window;
    uint32_t amount = 0;  // 0: the kind's default
};

// The faults a simulated transducer puts on its answers. Chances are drawn from a hash of the
// random key, the fault and the request number, so that a plan replays exactly, whatever else
// happens on the line.
class FaultPlan {
  public:
    void Add(const PlannedFault& fault) { faults_.push_back(fault); }
    void Clear() { faults_.clear(); }
    bool Empty() const { return faults_.empty(); }
    const std::vector<PlannedFault>& Faults() const { return faults_; }
    void SetRandomKey(uint64_t key) { randomKey_ = key; }

    // The faults that touch the request with this number, amounts filled in.
    std::vector<PlannedFault> At(uint32_t request) const;

  private:
    std::vector<PlannedFault> faults_;
    uint64_t randomKey_ = 1;
};

// The amount a fault kind takes when none is given.
uint32_t DefaultAmount(SimFault kind);
// "noise-before", "silence", ...; and back.
std::string_view FaultName(SimFault kind);
std::optional<SimFault> FaultFromName(std::string_view name);
// Every kind, in declaration order.
const std::vector<SimFault>& AllFaultKinds();

// "KIND[:AMOUNT][@FROM[+COUNT]][%PERCENT]", e.g. "silence@10+3" (requests 10 to 12 go
// unanswered), "noise-before:5%2.5" (five noise bytes before 2.5 % of the answers), "reboot@40".
// Nothing, with error set, for text it does not understand.
std::optional<PlannedFault> ParsePlannedFault(const std::string& text, std::string& error);
