// SPDX-License-Identifier: MIT
#include "catalogue/parameter_naming.h"

#include <array>

#include "catalogue/model_catalogue.h"

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// One naming rule. A row matches a name that contains its pattern and, for the captions,
// does not end in notLast. swappedCaption and swappedLabel apply to models with "TQ22".
struct NamingRow {
    std::string_view codePattern;
    std::string_view floatPattern;
    char notLast;  // 0: no condition
    std::string_view caption;
    std::string_view swappedCaption;
    std::string_view label;
    std::string_view swappedLabel;
};

constexpr char kAny = 0;

// The caption rows, tested from the top; the first match gives the result.
constexpr std::array<NamingRow, 23> kRows{{
    {"dIam", "diam", kAny, "Idc1", "Idc1", "Idc1", "Idc1"},
    {"aIam", "aiam", kAny, "Iac1", "Iac1", "Iac1", "Iac1"},
    {"Iam", "iam", kAny, "Iacdc1", "Iacdc1", "Iacdc1", "Iacdc1"},
    {"dIae", "diae", kAny, "Idc2", "Idc2", "Idc2", "Idc2"},
    {"aIae", "aiae", kAny, "Iac2", "Iac2", "Iac2a", "Iac2a"},
    {"Iae", "iae", kAny, "Iacdc2", "Iacdc2", "Iacdc2a", "Iacdc2a"},
    {"dUam", "duam", kAny, "Udc1", "Udc2", "Udc1", "Udc2"},
    {"aUam", "auam", kAny, "Uac1", "Uac2", "Uac1", "Uac2"},
    {"Uam", "uam", kAny, "Uacdc1", "Uacdc2", "Uacdc1", "Uacdc2"},
    {"dUae", "duae", kAny, "Udc2", "Udc1", "Udc2", "Udc1"},
    {"aUae", "auae", kAny, "Uac2", "Uac1", "Uac2", "Uac1"},
    {"Uae", "uae", kAny, "Uacdc2", "Uacdc1", "Uacdc2", "Uacdc1"},
    {"aUa", "aua", 'b', "Ua", "Ua", "Ua", "Ua"},
    {"aUb", "aub", 'c', "Ub", "Ub", "Ub", "Ub"},
    {"aUc", "auc", 'a', "Uc", "Uc", "Uc", "Uc"},
    {"aUab", "auab", kAny, "Uab", "Uab", "Uab", "Uab"},
    {"aUbc", "aubc", kAny, "Ubc", "Ubc", "Ubc", "Ubc"},
    {"aUca", "auca", kAny, "Uca", "Uca", "Uca", "Uca"},
    {"dUab", "duab", kAny, "Ulp-m", "Ulp-m", "Ulp-m", "Ulp-m"},
    {"dUbc", "dubc", kAny, "Uln-m", "Uln-m", "Uln-m", "Uln-m"},
    {"dUca", "duca", kAny, "Ulp-ln", "Ulp-ln", "Ulp-ln", "Ulp-ln"},
    {"dsUl", "dsul", kAny, "Ud ", "Ud ", "Ud ", "Ud "},
    {"F", "flf", kAny, "F", "F", "F", "F"},
}};

// The log labels test the rows in this order (indices into kRows), without the last-character
// conditions: the line and DC three-phase names before the phase names.
constexpr std::array<size_t, 23> kLabelOrder{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                             18, 19, 20, 21, 15, 16, 17, 12, 13, 14, 22};

enum class NameKind { Code, Float };
enum class Result { Caption, Label };

std::string Apply(const NamingRow& row, bool swapped, Result result) {
    if (result == Result::Caption) {
        return std::string(swapped ? row.swappedCaption : row.caption);
    }
    return std::string(swapped ? row.swappedLabel : row.label);
}

bool Matches(const NamingRow& row, std::string_view name, NameKind kind, bool withCondition) {
    const auto pattern = kind == NameKind::Code ? row.codePattern : row.floatPattern;
    if (!Contains(name, pattern)) {
        return false;
    }
    return !withCondition || row.notLast == kAny || name.empty() || name.back() != row.notLast;
}

std::string Name(std::string_view name, std::string_view modelName, NameKind kind, Result result) {
    const bool swapped = ModelHasKey(modelName, "TQ22");
    if (result == Result::Caption) {
        for (const NamingRow& row : kRows) {
            if (Matches(row, name, kind, true)) {
                return Apply(row, swapped, result);
            }
        }
    } else {
        for (size_t index : kLabelOrder) {
            if (Matches(kRows[index], name, kind, false)) {
                return Apply(kRows[index], swapped, result);
            }
        }
    }
    return std::string(name);
}

}  // namespace

bool IsClockName(std::string_view name) {
    return Contains(name, "tms") || Contains(name, "thm") || Contains(name, "tmd") ||
           Contains(name, "ty");
}

uint16_t ValueSizeOfName(std::string_view name) {
    if (IsClockName(name)) {
        return 2;
    }
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') {
            return 2;
        }
    }
    return 4;
}

uint16_t ValueSize(const std::vector<std::string>& names, size_t i) {
    return ValueSizeOfName(i < names.size() ? std::string_view(names[i]) : std::string_view());
}

std::string CaptionForCodeName(std::string_view name, std::string_view modelName) {
    return Name(name, modelName, NameKind::Code, Result::Caption);
}

std::string CaptionForFloatName(std::string_view name, std::string_view modelName) {
    return Name(name, modelName, NameKind::Float, Result::Caption);
}

std::string LogLabelForCodeName(std::string_view name, std::string_view modelName) {
    return Name(name, modelName, NameKind::Code, Result::Label);
}

std::string LogLabelForFloatName(std::string_view name, std::string_view modelName) {
    return Name(name, modelName, NameKind::Float, Result::Label);
}
