// SPDX-License-Identifier: MIT
#include "catalogue/calvena_models.h"

const ModelCatalogue& CalvenaModelCatalogue() {
    // Every row sets all seven columns. "TQ43" fills the first column in the order "Ulp-ln",
    // "Uln-m", "Ulp-m"; "Ud " ends with a blank.
    static const ModelCatalogue catalogue{
        {1004, 1006, 1008, 1017, 1019, 1021, 1014},
        {
            // clang-format off
            // key    1004      1006     1008     1017   1019   1021   1014
            {"TQ10", {"Iac1",   "",      "",      "",    "",    "",    ""},  std::nullopt},
            {"TQ20", {"Iac1",   "Iac2",  "",      "",    "",    "",    ""},  std::nullopt},
            {"TQ21", {"Uac1",   "Uac2",  "",      "",    "",    "",    "F"}, std::nullopt},
            {"TQ22", {"Udc1",   "Udc2",  "",      "",    "",    "",    ""},  std::nullopt},
            {"TQ23", {"Udc1",   "Udc2",  "",      "",    "",    "",    ""},  std::nullopt},
            {"TQ30", {"Idc1",   "Idc2",  "",      "",    "",    "",    ""},  std::nullopt},
            {"TQ41", {"",       "",      "",      "Uab", "Ubc", "Uca", "F"}, std::nullopt},
            {"TQ43", {"Ulp-ln", "Uln-m", "Ulp-m", "",    "",    "Ud ", ""},  std::nullopt},
            {"TQ51", {"Ua",     "Ub",    "Uc",    "Uab", "Ubc", "Uca", "F"}, std::nullopt},
            // clang-format on
        },
    };
    return catalogue;
}

PollGroupRules CalvenaPollGroupRules() {
    PollGroupRules rules;
    rules.readsChosenParameter = false;
    rules.floatValueEndsGroup = true;
    rules.twoBlockChoice = TwoBlockChoice::KeepFirstUnlessClockBlockAlone;
    return rules;
}
