// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "channel/serial_channel.h"
#include "iec101/iec101_master.h"
#include "platform/clock.h"

// The exchanges of the transfer-delay measurement on a link that has been started up: the
// delay acquisition with the master's send time, the wait for its acknowledgement and for the
// confirmation that returns the send time, and the transfer of the delay found.
class TransferDelayExchange {
  public:
    TransferDelayExchange(SerialChannel& channel, Clock& clock, Iec101Master& master)
        : channel_(channel), clock_(clock), master_(master) {}

    // The one-way delay in ms; 0 when the measurement failed (no acknowledgement, no or a
    // damaged confirmation within 500 ms, no time returned).
    uint16_t Acquire(uint16_t linkAddress, const LinkConfig& config);
    // Passes the delay to the station and drops its answer.
    void Transfer(uint16_t linkAddress, const LinkConfig& config, uint16_t delayMs);

  private:
    SerialChannel& channel_;
    Clock& clock_;
    Iec101Master& master_;
};
