// SPDX-License-Identifier: MIT
#include "catalogue/polmira_models.h"

namespace {

constexpr auto kSingle = FrameLayout::SinglePhase;
constexpr auto kThree = FrameLayout::ThreePhase;

}  // namespace

const ModelCatalogue& PolmiraModelCatalogue() {
    // "F" is the frequency. "TQ30" puts "Iac1" into both of the first two slots, "TQ23" leaves
    // the left panel as it was, and "Ud " ends with a blank.
    static const ModelCatalogue catalogue{
        {1010, 1012, 1014, 1004, 1006, 1008, 1017, 1019, 1021},
        {
            // clang-format off
            // key    1010        1012        1014        1004     1006     1008      1017      1019      1021
            {"TQ10", {"Iac1",     "",         "",         "",      "",      "",       "",       "",       ""},    kSingle},
            {"TQ20", {"Iac1",     "Iac2",     "",         "Idc1",  "Idc2",  "",       "Iacdc1", "Iacdc2", ""},    kSingle},
            {"TQ21", {"Uac1",     "Uac2",     "F",        "Udc1",  "Udc2",  "",       "Uacdc1", "Uacdc2", ""},    kSingle},
            {"TQ22", {"Uac1",     "Uac2",     "",         "Udc1",  "Udc2",  "",       "Uacdc1", "Uacdc2", ""},    kSingle},
            {"TQ23", {kUnchanged, kUnchanged, kUnchanged, "Udc1",  "Udc2",  "",       "Uacdc1", "Uacdc2", ""},    kSingle},
            {"TQ30", {"Iac1",     "Iac1",     "",         "Idc1",  "Idc2",  "",       "Iacdc1", "Iacdc2", ""},    kSingle},
            {"TQ41", {"Ua",       "Ub",       "Uc",       "",      "",      "F",      "Uab",    "Ubc",    "Uca"}, kThree},
            {"TQ43", {"",         "",         "",         "Ulp-m", "Uln-m", "Ulp-ln", "",       "",       "Ud "}, kThree},
            {"TQ51", {"Ua",       "Ub",       "Uc",       "",      "",      "F",      "Uab",    "Ubc",    "Uca"}, kThree},
            // clang-format on
        },
    };
    return catalogue;
}

PollGroupRules PolmiraPollGroupRules() {
    PollGroupRules rules;
    rules.readsChosenParameter = true;
    rules.floatValueEndsGroup = false;
    rules.twoBlockChoice = TwoBlockChoice::KeepClockBlock;
    return rules;
}
