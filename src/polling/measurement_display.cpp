// SPDX-License-Identifier: MIT
#include "polling/measurement_display.h"

#include <algorithm>

#include "catalogue/number_text.h"
#include "catalogue/parameter_naming.h"
#include "catalogue/value_format.h"

namespace {

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

std::string TwoDigits(unsigned value) {
    std::string text = FormatInteger(value);
    return text.size() < 2 ? "0" + text : text;
}

// Seconds with hundredths from the milliseconds within the minute, rounded down to 10 ms.
double SecondsOf(uint16_t milliseconds) {
    return (milliseconds / 10) * 10 / 1000.0;
}

bool IecFloatType(uint8_t type) {
    return type == 13 || type == 14 || type == 36 || type == 145;
}

// Slot k's own condition (slot order): the last character, the length, or none.
bool SlotTakes(size_t slot, const std::string& caption) {
    const char last = caption.empty() ? '\0' : caption.back();
    switch (slot) {
        case 3:
            return last != 'b';
        case 4:
            return last != 'c';
        case 5:
            return last != 'a';
        case 6:
        case 7:
        case 8:
            return caption.size() > 2;
        default:
            return true;
    }
}

bool FrequencyRuleSlot(size_t slot) {
    return slot == 2 || slot == 5;
}

}  // namespace

std::string TransducerTimeText(const AsduTime& clock) {
    return TwoDigits(clock.hourMinute >> 8) + " : " + TwoDigits(clock.hourMinute & 0xFF) + " : " +
           FormatFixed(SecondsOf(clock.milliseconds), 2);
}

std::string TransducerLogTimeText(const AsduTime& clock) {
    std::string year = FormatInteger(2000 + clock.year);
    while (year.size() < 4) {
        year.insert(year.begin(), '0');
    }
    std::string seconds = FormatFixed(SecondsOf(clock.milliseconds), 2);
    std::replace(seconds.begin(), seconds.end(), '.', ',');
    return TwoDigits(clock.monthDay & 0x1F) + "_" + TwoDigits(clock.monthDay >> 8) + "_" + year +
           " " + TwoDigits(clock.hourMinute >> 8) + ":" + TwoDigits(clock.hourMinute & 0xFF) + ":" +
           seconds + "\t";
}

std::string TransducerTimePlaceholder() {
    return "xx : xx : xx.xx";
}

std::string ComputerTimeText(uint16_t hour, uint16_t minute, uint16_t second,
                             uint16_t milliseconds) {
    const float seconds = static_cast<float>(second * 1000 + milliseconds) / 1000.0f;
    return TwoDigits(hour) + " : " + TwoDigits(minute) + " : " + FormatFixed(seconds, 2);
}

AsduTime ClockReadingFromBlock(std::span<const uint8_t, 8> b) {
    AsduTime c;
    c.milliseconds = static_cast<uint16_t>(b[0] << 8 | b[1]);
    c.hourMinute = static_cast<uint16_t>(b[2] << 8 | b[3]);
    c.monthDay = static_cast<uint16_t>(b[4] << 8 | (b[5] & 0x1F));
    c.year = b[7];
    return c;
}

std::span<const uint8_t> RegisterAnswerValues(std::span<const uint8_t> answer) {
    return answer.size() > 3 ? answer.subspan(3) : std::span<const uint8_t>();
}

namespace {

// The eight bytes of a clock block that begins at `at` (negative: before the first value,
// where a register answer's header stands, and an IEC-101 set's zero bytes, read as zero).
std::array<uint8_t, 8> ClockBlockAt(std::span<const uint8_t> values, std::ptrdiff_t at) {
    std::array<uint8_t, 8> block{};
    for (std::ptrdiff_t i = 0; i < 8; ++i) {
        if (at + i >= 0) {
            block[static_cast<size_t>(i)] = values[static_cast<size_t>(at + i)];
        }
    }
    return block;
}

// The caption a value of the name is shown under.
std::string ValueCaption(const std::string& rawName, bool isFloat, const DisplayInput& in) {
    const std::string_view model = in.config->modelName;
    std::string c = CaptionForCodeName(rawName, model);
    if (in.floatCaptionsForClockFloatGroup && in.clockInFloatGroup) {
        c = CaptionForFloatName(c, model);
    }
    if (isFloat) {
        c = CaptionForFloatName(c, model);
    }
    return c;
}

// A 16-bit code in physical units: its text, and the unit added to the captions; empty when
// the code has no physical value.
std::string PhysicalValueText(const std::string& rawName, uint16_t code, const DisplayInput& in,
                              SlotCaptions& captions, DisplayResult& result) {
    const std::optional<PhysicalText> physical = CodeToPhysicalText(*in.config, rawName, code);
    if (!physical) {
        return {};
    }
    result.captionsChanged |=
        AppendUnitToCaption(rawName, physical->unit, in.config->modelName, captions);
    return physical->text;
}

// The text into every slot whose caption holds the value's caption and takes it. A raw code
// that meets a frequency slot is its integer from there on, in the later slots and the log.
void ShowInSlots(const std::string& caption, std::string& text, uint16_t code, bool isFloat,
                 const DisplayInput& in, const SlotCaptions& captions, DisplayResult& result) {
    for (size_t slot = 0; slot < kSlotCount; ++slot) {
        const std::string& slotCaption = captions[slot];
        if (slotCaption.empty() || !Contains(slotCaption, caption) ||
            !SlotTakes(slot, slotCaption)) {
            continue;
        }
        if (FrequencyRuleSlot(slot) && Contains(slotCaption, "F") && !isFloat &&
            !in.physicalUnits) {
            text = FormatInteger(code);
        }
        result.values[slot] = text;
    }
}

// The transducer's clock reading in the time field and the log row.
void ShowTransducerTime(const AsduTime& clock, DisplayResult& result) {
    result.transducerTimeText = TransducerTimeText(clock);
    result.logTimeText = TransducerLogTimeText(clock);
    result.showComputerTime = true;
}

}  // namespace

DisplayResult RefreshValues(const DisplayInput& in, SlotCaptions& captions) {
    DisplayResult result;
    const PollGroup& group = *in.group;
    const TransducerConfig& config = *in.config;
    const std::string_view model = config.modelName;
    const std::span<const uint8_t> answer = in.values;
    const bool iec = in.exchangeMode == ExchangeMode::kIec101;
    const ValueContext context{config.wordOrder, model, in.physicalUnits};

    bool isFloat = iec && IecFloatType(in.lastValueType);
    size_t p = 0;
    for (size_t n = 0; n < group.names.size() && p + 1 < answer.size(); ++n) {
        const std::string& rawName = group.names[n];
        const bool logged = n < in.logColumns.size() && in.logColumns[n];
        if (!iec) {
            isFloat = ValueSizeOfName(rawName) == 4;
        }
        const std::string c = ValueCaption(rawName, isFloat, in);
        const bool clockStart = Contains(c, "tms");

        std::string t;
        uint16_t code = 0;
        if (clockStart && in.clockValueSkipped) {
            p += 2;
        } else {
            if (p + (isFloat ? 4 : 2) > answer.size()) {
                break;  // the value would reach past the answer
            }
            DecodedValue v = DecodeValue(answer.subspan(p), isFloat, context, captions);
            result.captionsChanged |= v.captionsChanged;
            t = std::move(v.text);
            code = v.code;
            p += v.bytesUsed;
            if (!isFloat && in.physicalUnits) {
                t = PhysicalValueText(rawName, code, in, captions, result);
            }
            ShowInSlots(c, t, code, isFloat, in, captions, result);
        }

        if (!clockStart) {
            if (logged) {
                result.cells.push_back(t + "    \t");
            }
            continue;
        }
        // The clock block begins where the "tms" value began (a skipped one first in a set of
        // 32-bit values: two bytes before the first value).
        const auto q = static_cast<std::ptrdiff_t>(p) - (isFloat ? 4 : 2);
        if (q + 8 > static_cast<std::ptrdiff_t>(answer.size())) {
            return result;  // the block would reach past the answer: the refresh ends here
        }
        ShowTransducerTime(ClockReadingFromBlock(ClockBlockAt(answer, q)), result);
        p = static_cast<size_t>(q + 8);
    }

    if (config.valuesTimeTagged && iec && p + 2 < answer.size()) {
        ShowTransducerTime(in.asduTime, result);
    }
    if (config.timeSupport == 0 || in.clockStaleCount >= 3) {
        result.transducerTimeText = TransducerTimePlaceholder();
        result.showComputerTime = true;
    }
    return result;
}
