// SPDX-License-Identifier: MIT
#include "catalogue/value_format.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "catalogue/number_text.h"
#include "catalogue/parameter_naming.h"

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Appends the unit of its quantity to a caption that does not carry it yet.
bool AddUnitSuffixes(std::string& caption, std::string_view modelName) {
    if (caption.empty()) {
        return false;
    }
    bool changed = false;
    if (Contains(caption, "U") && !Contains(caption, "V")) {
        caption += ModelHasKey(modelName, "TQ22") ? ", mV" : ", V";
        changed = true;
    }
    if (Contains(caption, "I") && !Contains(caption, "A")) {
        caption += ModelHasKey(modelName, "TQ30") ? ", mA" : ", A";
        changed = true;
    }
    if (Contains(caption, "F") && !Contains(caption, "Hz")) {
        caption += ", Hz";
        changed = true;
    }
    return changed;
}

// The decimals code (bits 0 to 2 of a divisor code) and the divisor it stands for.
struct Decimals {
    int code;
    double divisor;
};

Decimals DecimalsOf(uint8_t divisorCode) {
    const int code = divisorCode & 0x07;
    switch (code) {
        case 1:
            return {code, 1000.0};
        case 2:
            return {code, 100.0};
        case 3:
            return {code, 10.0};
        default:
            return {code, 1.0};
    }
}

std::string FormatByDecimals(double value, int decimalsCode) {
    switch (decimalsCode) {
        case 0:
            return FormatFixed(value, 0);
        case 1:
            return FormatFixed(value, 3);
        case 2:
            return FormatFixed(value, 2);
        case 3:
            return FormatFixed(value, value < 100.0 ? 2 : 1);
        default:
            return std::string();
    }
}

}  // namespace

std::string FloatValueText(float value, std::string_view modelName) {
    if (ModelHasKey(modelName, "TQ22") || ModelHasKey(modelName, "TQ30")) {
        value *= 1000.0f;
    }
    const double v = value;
    std::string text = FormatFixed(v, 5);
    const size_t point = text.find('.');
    // Decimals that leave five significant digits, by the position of the point.
    int decimals = 5;
    const size_t integerDigitsSign = v < 0 ? 1 : 0;
    if (point != std::string::npos) {
        switch (point - integerDigitsSign) {
            case 1:
                decimals = 4;
                break;
            case 2:
                decimals = 3;
                break;
            case 3:
                decimals = 2;
                break;
            default:
                break;
        }
    }
    return decimals == 5 ? text : FormatFixed(v, decimals);
}

DecodedValue DecodeValue(std::span<const uint8_t> bytes, bool isFloat, const ValueContext& context,
                         SlotCaptions& captions) {
    DecodedValue result;
    if (isFloat) {
        if (bytes.size() < 4) {
            return result;
        }
        const uint32_t b0 = bytes[0], b1 = bytes[1], b2 = bytes[2], b3 = bytes[3];
        const uint32_t pattern = context.wordOrder == 2 ? (b2 << 24 | b3 << 16 | b0 << 8 | b1)
                                                        : (b0 << 24 | b1 << 16 | b2 << 8 | b3);
        result.bytesUsed = 4;
        for (std::string& caption : captions) {
            result.captionsChanged |= AddUnitSuffixes(caption, context.modelName);
        }
        result.text = FloatValueText(std::bit_cast<float>(pattern), context.modelName);
        return result;
    }
    if (bytes.size() < 2) {
        return result;
    }
    result.code = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    result.bytesUsed = 2;
    if (!context.physicalUnits) {
        for (std::string& caption : captions) {
            const size_t comma = caption.find(',');
            if (!caption.empty() && comma != std::string::npos) {
                caption.erase(comma);
                result.captionsChanged = true;
            }
        }
    }
    result.text = FormatInteger(static_cast<int16_t>(result.code));
    return result;
}

std::string UnitText(std::string_view name, uint8_t divisorCode) {
    std::string prefix = " ";
    switch (divisorCode >> 3 & 0x07) {
        case 0:
            prefix = "m";
            break;
        case 2:
            prefix = "k";
            break;
        case 3:
            prefix = "M";
            break;
        case 4:
            prefix = "G";
            break;
        default:
            break;
    }
    // Each test overrides the ones before it.
    std::string unit = " ";
    if (!name.empty()) {
        if (Contains(name, "U")) {
            unit = "V";
        }
        if (Contains(name, "I")) {
            unit = "A";
        }
        if (Contains(name, "F") || Contains(name, "f")) {
            unit = "Hz";
        }
        if (Contains(name, "u")) {
            unit = "V";
        }
        if (Contains(name, "i")) {
            unit = "A";
        }
    }
    return prefix + unit;
}

std::string UnitText(const TransducerConfig& config, size_t i) {
    if (i >= config.parameters.size() || i >= config.parameterNames.size()) {
        return "  ";
    }
    return UnitText(config.parameterNames[i], config.parameters[i].divisorCode);
}

std::optional<PhysicalText> CodeToPhysicalText(const TransducerConfig& config,
                                               std::string_view name, uint16_t code) {
    const size_t count = std::min(config.parameterNames.size(), config.parameters.size());
    for (size_t i = 0; i < count; ++i) {
        if (config.parameterNames[i] != name) {
            continue;
        }
        const ConfigParameter& p = config.parameters[i];
        const Decimals d = DecimalsOf(p.divisorCode);
        const bool isFrequency = Contains(name, "F") || Contains(name, "f");
        const double x = isFrequency ? static_cast<double>(code)
                                     : static_cast<double>(static_cast<int16_t>(code));
        const double value = x * static_cast<double>(p.nominal) / d.divisor / 65536.0;
        PhysicalText result;
        result.text = FormatByDecimals(value, d.code);
        if (d.code != 0 && result.text.size() < 5) {
            result.text.append(5 - result.text.size(), '0');
        }
        result.unit = UnitText(config, i);
        return result;
    }
    return std::nullopt;
}

bool AppendUnitToCaption(std::string_view name, std::string_view unit, std::string_view modelName,
                         SlotCaptions& captions) {
    const std::string caption = CaptionForCodeName(name, modelName);
    for (std::string& slotCaption : captions) {
        if (slotCaption == caption) {
            if (unit.empty()) {
                return false;
            }
            slotCaption += ",";
            slotCaption += unit;
            return true;
        }
    }
    return false;
}
