// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/model_catalogue.h"
#include "catalogue/poll_groups.h"
#include "catalogue/transducer_config.h"
#include "iec101/iec101_types.h"

// The display refresh after a good poll answer, as a pure computation: which value texts go
// into which slots, how the captions change, which cells the log row gets and what the
// transducer's clock reads. The controller applies the result to the window and the log.

struct DisplayInput {
    // The values of the answer, in register order: a register answer's data bytes, or the
    // values of an IEC-101 value set from the first polled parameter on.
    std::span<const uint8_t> values;
    const PollGroup* group = nullptr;
    // Per name of the group: whether the log has a column for it.
    std::vector<bool> logColumns;
    const TransducerConfig* config = nullptr;
    ExchangeMode exchangeMode = ExchangeMode::kModbusAscii;
    uint8_t lastValueType = 0;  // type identification of the last IEC-101 answer
    bool physicalUnits = false;
    bool clockInFloatGroup = false;
    AsduTime asduTime;
    uint8_t clockStaleCount = 0;
    // Program rules.
    bool clockValueSkipped = true;
    bool floatCaptionsForClockFloatGroup = true;
};

struct DisplayResult {
    // The text last written into each slot's value field, where one was.
    std::array<std::optional<std::string>, kSlotCount> values;
    // Log cells in row order ("text    \t").
    std::vector<std::string> cells;
    // The transducer's clock as a log time stamp: replaces the row's time stamp.
    std::optional<std::string> logTimeText;
    // The new transducer-time text, when the refresh sets one.
    std::optional<std::string> transducerTimeText;
    // The refresh shows the computer-time text.
    bool showComputerTime = false;
    bool captionsChanged = false;
};

// The values of a Modbus register answer: its bytes after the address, the function and the
// byte count (none in a shorter answer).
std::span<const uint8_t> RegisterAnswerValues(std::span<const uint8_t> answer);

// Walks the names of the group over the answer. The captions are updated in place (unit
// suffixes). A value or clock block that would reach past the answer ends the walk.
DisplayResult RefreshValues(const DisplayInput& input, SlotCaptions& captions);

// The transducer's clock readings use the layout of the IEC-101 time tag (AsduTime), whether
// they come from a Modbus clock block or from an ASDU.

// "09 : 05 : 7.25" from a clock reading (seconds to hundredths, rounded down).
std::string TransducerTimeText(const AsduTime& clock);
// "03_11_2023 09:05:7,25\t".
std::string TransducerLogTimeText(const AsduTime& clock);
// "xx : xx : xx.xx".
std::string TransducerTimePlaceholder();
// "14 : 05 : 7.00" from the computer's clock.
std::string ComputerTimeText(uint16_t hour, uint16_t minute, uint16_t second,
                             uint16_t milliseconds);
// The clock block of a Modbus answer (eight bytes) in the fields of the IEC-101 time tag.
AsduTime ClockReadingFromBlock(std::span<const uint8_t, 8> block);
