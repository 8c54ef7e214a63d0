// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

#include "channel/serial_channel.h"
#include "iec101/iec101_master.h"
#include "platform/clock.h"

// The procedures that set the transducer's clock from the computer's clock and that put it
// into its clock test mode: the exchanges and what they came to. The controller decides from
// the outcome what the user is told and whether polling goes on.

// The register record of the clock, from a reading taken in the first 10 ms of a second
// (local time or UTC): milliseconds of the minute, hour and minute, month, day of week and
// day, the year in the century.
std::vector<uint8_t> ModbusTimeRecord(Clock& clock, bool localTime);

// The echo of a register write: every byte after address and function equals, in order, the
// start register (high byte first) followed by the record. Two bytes or fewer pass.
bool EchoMatches(const std::vector<uint8_t>& answer, uint16_t start,
                 const std::vector<uint8_t>& record);

// Sets the clock at slave address 1 with function 16 at the clock's first register.
struct ModbusClockSetting {
    uint8_t result = 0;  // the answer's Modbus result code
    bool echoMatches = false;
};
ModbusClockSetting SetClockOverModbus(SerialChannel& channel, Clock& clock, bool ascii,
                                      uint16_t timeRegister, bool localTime);

// Sets the clock over IEC-101 at link address 1: the link's status and reset, the clock
// synchronisation command, its confirmation and the class 2 request after it.
struct IecClockSetting {
    bool linkAnswered = false;      // the status of link came
    bool linkReset = false;         // the reset was acknowledged: the command was sent
    uint8_t confirmation = 0;       // receive code of the answer to the command
    uint8_t afterConfirmation = 0;  // receive code of the answer to the class 2 request
};
IecClockSetting SetClockOverIec(Iec101Master& master, SerialChannel& channel, Clock& clock,
                                const LinkConfig& config, bool localTime);

// Wakes the transducer at its configuration line settings and asks it for its RTC test mode
// (function 118 with its access value).
enum class RtcTestStart { kNoAccess, kNotHeard, kRefused, kStarted };
RtcTestStart StartRtcTestMode(SerialChannel& channel, Clock& clock, uint8_t slaveAddress);
