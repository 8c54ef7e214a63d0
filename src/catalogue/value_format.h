// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "catalogue/model_catalogue.h"
#include "catalogue/transducer_config.h"

// Turning the raw bytes of a poll answer into value texts, and the unit suffixes that the
// slot captions gain and lose on the way. The captions are passed in and changed in place;
// the caller shows them afterwards.

// What DecodeValue needs besides the bytes.
struct ValueContext {
    uint16_t wordOrder = 2;      // from the configuration
    std::string_view modelName;  // "TQ22" and "TQ30" scale 32-bit values by 1000
    bool physicalUnits = false;  // false: codes are shown raw and the captions lose their units
};

struct DecodedValue {
    std::string text;
    uint16_t code = 0;      // the 16-bit code, for a code value
    uint8_t bytesUsed = 0;  // 4 or 2; 0 when the bytes given were too few
    bool captionsChanged = false;
};

// Decodes a 32-bit value (isFloat) or a 16-bit code from the start of bytes. A 32-bit value
// adds its unit suffix to every caption that lacks it; a raw code cuts the captions' suffixes.
DecodedValue DecodeValue(std::span<const uint8_t> bytes, bool isFloat, const ValueContext& context,
                         SlotCaptions& captions);

// The texts of a 32-bit value: with the model's scaling applied, five significant digits below
// 1000 in magnitude.
std::string FloatValueText(float value, std::string_view modelName);

struct PhysicalText {
    std::string text;
    std::string unit;
};

// A code scaled by the nominal and decimals of the parameter with exactly this name, with that
// parameter's unit text. No value when no parameter has the name.
std::optional<PhysicalText> CodeToPhysicalText(const TransducerConfig& config,
                                               std::string_view name, uint16_t code);

// The unit of a parameter: a prefix letter ("m", "k", "M", "G") or a blank, then "V", "A",
// "Hz" or a blank.
std::string UnitText(std::string_view name, uint8_t divisorCode);
// UnitText of parameter i; two blanks for an index outside the table.
std::string UnitText(const TransducerConfig& config, size_t i);

// Appends "," and the unit to the first caption that equals the parameter's caption; true
// when a caption changed.
bool AppendUnitToCaption(std::string_view name, std::string_view unit, std::string_view modelName,
                         SlotCaptions& captions);
