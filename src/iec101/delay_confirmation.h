// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "iec101/ft12_frame.h"

// The frames of the transfer-delay measurement (delay acquisition, type 106) as the master
// reads them: the fixed frame that acknowledges the activation, and the confirmation that
// returns the master's send time. Pure functions: bytes in, verdicts out.

// The fixed frame 10 00 A CS 16 (5 bytes, 6 with a two-byte address).
size_t DelayAcknowledgementLength(const LinkConfig& config);
// Whether the bytes are exactly such a frame (start and function checked, as the master does).
bool IsDelayAcknowledgement(std::span<const uint8_t> bytes, const LinkConfig& config);

// The length of the confirmation: a variable frame whose ASDU carries the two-byte time.
size_t DelayConfirmationLength(const LinkConfig& config);
// The millisecond of the minute that a confirmation returns. Nothing when the bytes are not a
// whole frame of the confirmation's length (start byte, checksum, end byte), or when the time is
// 0 (no time) or 60000 and above (no millisecond of a minute).
std::optional<uint16_t> ReturnedDelayTime(std::span<const uint8_t> frame, const LinkConfig& config);

// The one-way delay: half the time from the returned send time to the arrival (both in ms of
// the minute), across the full minute.
uint16_t OneWayDelayMs(uint32_t arrivalMs, uint16_t returnedMs);
