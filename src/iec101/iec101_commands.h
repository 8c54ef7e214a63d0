// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "iec101/ft12_frame.h"
#include "platform/clock.h"

// Type identifications of the control direction.
inline constexpr uint8_t kTypeInterrogation = 100;     // C_IC_NA_1
inline constexpr uint8_t kTypeRead = 102;              // C_RD_NA_1
inline constexpr uint8_t kTypeClockSync = 103;         // C_CS_NA_1
inline constexpr uint8_t kTypeDelayAcquisition = 106;  // C_CD_NA_1

// Control fields of the master's frames; the FCB (0x20) is added where FCV is set.
inline constexpr uint8_t kControlResetLink = 0x40;
inline constexpr uint8_t kControlLinkStatus = 0x49;
inline constexpr uint8_t kControlUserData = 0x53;  // send/confirm user data, FCV set
inline constexpr uint8_t kControlClass2 = 0x5B;    // request user data class 2, FCV set
inline constexpr uint8_t kControlFcb = 0x20;

// The originator address sent after the cause when the cause is two bytes wide.
inline constexpr uint8_t kOriginatorAddress = 0x02;

// CP56Time2a of a calendar reading: milliseconds of the minute (little-endian), minute, hour,
// day of month with the day of week in bits 5 to 7 (Monday 1 to Sunday 7), month, year - 2000
// modulo 256. The invalid and summer-time bits are 0.
std::array<uint8_t, 7> EncodeCp56Time2a(const SystemTime& time);

// The ASDU of a command: type, qualifier 0x01, cause, originator 0x02 when the cause is two
// bytes wide, common address (the link address again), IOA in the configured width, element.
std::vector<uint8_t> BuildCommandAsdu(uint8_t type, uint8_t cause, uint16_t commonAddress,
                                      uint32_t ioa, const LinkConfig& config,
                                      const std::vector<uint8_t>& element);

// The command frames with the given FCB (0 or 1).
// Interrogation (type 100) with cause config.commandCause and QOI 20 + config.group.
std::vector<uint8_t> BuildInterrogationFrame(uint8_t fcb, uint16_t linkAddress, uint32_t ioa,
                                             const LinkConfig& config);
// Read command (type 102, control function 11) with cause config.commandCause, no element.
std::vector<uint8_t> BuildReadFrame(uint8_t fcb, uint16_t linkAddress, uint32_t ioa,
                                    const LinkConfig& config);
// Clock synchronisation (type 103, cause 6, IOA 0) carrying the reading.
std::vector<uint8_t> BuildClockSyncFrame(uint8_t fcb, uint16_t linkAddress,
                                         const LinkConfig& config, const SystemTime& time);
// Delay acquisition activation (type 106, cause 6, IOA 0) with the CP16Time2a send time.
std::vector<uint8_t> BuildDelayActivationFrame(uint8_t fcb, uint16_t linkAddress,
                                               const LinkConfig& config, uint16_t sendTimeMs);
// Transfer of the measured delay (type 106, cause 3 spontaneous, IOA 0).
std::vector<uint8_t> BuildDelayTransferFrame(uint8_t fcb, uint16_t linkAddress,
                                             const LinkConfig& config, uint16_t delayMs);

// Reads the clock (local time or UTC) again and again, yielding between readings, until the
// millisecond part is 10 or less, and returns that reading: the start of a second.
SystemTime ReadClockAtSecondStart(Clock& clock, bool useLocalTime);
