// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/poll_groups.h"
#include "catalogue/transducer_config.h"
#include "channel/serial_channel.h"
#include "iec101/iec101_master.h"
#include "platform/clock.h"
#include "polling/poll_kind.h"

// What an IEC-101 poll session needs of the controller that runs it.
class IecSessionHost {
  public:
    virtual ~IecSessionHost() = default;
    // A wait inside an exchange that keeps the window alive; a Stop meanwhile ends the Start
    // or the tick that waits (it does not return then).
    virtual void WaitInExchange(uint32_t milliseconds) = 0;
    // Dispatches the window's events for a moment, ticks arriving meanwhile ignored; the same
    // for a Stop.
    virtual void DispatchInExchange(uint32_t milliseconds) = 0;
    // Polling ends with a message box.
    virtual void StopWithMessage(const std::string& text) = 0;
    virtual void ArmPollTimer(uint32_t periodMs) = 0;
    virtual void KillPollTimer() = 0;
};

// How a Start set polling up: the poll kind, the poll period and, for the read command, the
// chosen parameter's name.
struct IecPollSettings {
    PollKind kind = PollKind::kInterrogation;
    uint32_t pollPeriod = 500;
    std::string chosenName;
};

// What one tick's collection brought: the receive code, and with a complete value set its
// values from the first polled parameter on, in the widths of the configuration (the last
// values, those of a set shifted to its first polled parameter, are the set's own last ones
// again: the display reads only as far as the poll group reaches).
struct IecCollection {
    uint8_t code = kReceiveNothing;
    bool complete = false;
    std::vector<uint8_t> values;
    bool timeTagChanged = false;  // the answer's time tag differs from the one before
};

// The link settings of an exchange: the configuration's field widths, the interrogation group
// and the cause of an ASDU command.
LinkConfig LinkConfigOf(const TransducerConfig& config, uint8_t group,
                        uint8_t cause = kCauseActivation);

// Polling one IEC 60870-5-101 controlled station: the master and its link state, the
// preparation of a value set at Start, the link start-up in the first request, the request of
// each tick by poll kind (interrogation, read command, class 2), the renewal of an
// interrogation that ended or was lost, and the collection of a tick's answer.
class Iec101PollSession {
  public:
    Iec101PollSession(SerialChannel& channel, Clock& clock, IecSessionHost& host);
    Iec101PollSession(const Iec101PollSession&) = delete;
    Iec101PollSession& operator=(const Iec101PollSession&) = delete;

    // Sizes and fills the value-set tables for this Start (group: the interrogated group, 0
    // the station) and has the next request start the link up.
    void Prepare(const TransducerConfig& config, const PollPlan& plan, uint8_t group,
                 const IecPollSettings& settings);
    // The request of a tick (or of Start, which sends the first one).
    void SendRequest(const TransducerConfig& config, const PollPlan& plan, uint8_t group);
    // Collects the answer to the last request.
    IecCollection Collect(const TransducerConfig& config, const PollPlan& plan);

    Iec101Master& Master() { return master_; }
    const Iec101Master& Master() const { return master_; }
    const Iec101Results& Results() const { return results_; }

  private:
    void StartLinkUp(const TransducerConfig& config, uint32_t start, const LinkConfig& lc);
    void RenewInterrogation(const TransducerConfig& config, uint32_t start, const LinkConfig& lc);
    bool InterrogationConfirmed(uint16_t linkAddress, const LinkConfig& lc);
    bool InterrogationLost();

    SerialChannel& channel_;
    Clock& clock_;
    IecSessionHost& host_;
    Iec101Results results_;
    Iec101Master master_{results_};
    IecPollSettings settings_;
    bool linkStartupPending_ = false;
    uint8_t lastReceive_ = 0;  // receive code of the last collection
    // When the last interrogation was sent or last brought a confirmation, values or its
    // termination (tick count), and the decoder's ASDU count seen then.
    uint32_t lastProgressMs_ = 0;
    uint32_t asduCountSeen_ = 0;
};
