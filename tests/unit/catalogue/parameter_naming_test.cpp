// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/parameter_naming.h"

namespace {

TEST(ParameterNaming, ClockNamesAndValueSizes) {
    struct Case {
        const char* name;
        bool clock;
        uint16_t size;
    };
    const Case cases[] = {
        {"dIam", false, 2}, {"diam", false, 4}, {"tms1", true, 2}, {"ty11", true, 2},
        {"flf1", false, 4}, {"Fabc", false, 2}, {"", false, 4},    {"thm1", true, 2},
        {"tmd1", true, 2},  {"xtmy", false, 4}, {"Ztyx", true, 2}, {"\xC3\xA9uam", false, 4},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(IsClockName(k.name), k.clock) << k.name;
        EXPECT_EQ(ValueSizeOfName(k.name), k.size) << k.name;
    }
    const std::vector<std::string> names{"dIam", "diam"};
    EXPECT_EQ(ValueSize(names, 0), 2);
    EXPECT_EQ(ValueSize(names, 1), 4);
    EXPECT_EQ(ValueSize(names, 2), 4);  // outside the list: the empty name
}

struct NameCase {
    const char* name;
    const char* model;
    const char* caption;
    const char* label;
};

TEST(ParameterNaming, CodeNames) {
    const NameCase cases[] = {
        {"dIam", "TQ20", "Idc1", "Idc1"},
        {"dIam", "TQ22", "Idc1", "Idc1"},
        {"aIam", "", "Iac1", "Iac1"},
        {"xIam", "", "Iacdc1", "Iacdc1"},
        {"dIae", "", "Idc2", "Idc2"},
        {"aIae", "", "Iac2", "Iac2a"},
        {"Iae1", "", "Iacdc2", "Iacdc2a"},
        {"aIae", "TQ22", "Iac2", "Iac2a"},
        {"dUam", "TQ21", "Udc1", "Udc1"},
        {"dUam", "xTQ22y", "Udc2", "Udc2"},
        {"aUam", "TQ22", "Uac2", "Uac2"},
        {"xUam", "TQ22", "Uacdc2", "Uacdc2"},
        {"dUae", "", "Udc2", "Udc2"},
        {"dUae", "TQ22", "Udc1", "Udc1"},
        {"aUae", "TQ22", "Uac1", "Uac1"},
        {"xUae", "TQ22", "Uacdc1", "Uacdc1"},
        {"xUae", "tq22", "Uacdc2", "Uacdc2"},
        {"aUa1", "", "Ua", "Ua"},
        {"aUab", "", "Uab", "Uab"},
        {"aUb1", "", "Ub", "Ub"},
        {"aUbc", "", "Ubc", "Ubc"},
        {"aUc1", "", "Uc", "Uc"},
        {"aUca", "", "Uca", "Uca"},
        {"dUab", "", "Ulp-m", "Ulp-m"},
        {"dUbc", "", "Uln-m", "Uln-m"},
        {"dUca", "", "Ulp-ln", "Ulp-ln"},
        {"dsUl", "", "Ud ", "Ud "},
        {"Fxyz", "", "F", "F"},
        {"tms1", "", "tms1", "tms1"},
        {"diam", "", "diam", "diam"},
        // Longer than four characters the row order of the labels shows: the caption rows
        // stop at "aUa" (the name does not end in "b"), the label rows reach "aUab" first.
        {"aUab1", "", "Ua", "Uab"},
        {"aUaF", "", "Ua", "Ua"},
        {"aUcaF", "", "Uc", "Uca"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(CaptionForCodeName(k.name, k.model), k.caption) << k.name << " " << k.model;
        EXPECT_EQ(LogLabelForCodeName(k.name, k.model), k.label) << k.name << " " << k.model;
    }
}

TEST(ParameterNaming, FloatNames) {
    const NameCase cases[] = {
        {"diam", "", "Idc1", "Idc1"},
        {"aiam", "", "Iac1", "Iac1"},
        {"xiam", "", "Iacdc1", "Iacdc1"},
        {"diae", "", "Idc2", "Idc2"},
        {"aiae", "", "Iac2", "Iac2a"},
        {"iae1", "", "Iacdc2", "Iacdc2a"},
        {"duam", "", "Udc1", "Udc1"},
        {"duam", "TQ22", "Udc2", "Udc2"},
        {"auae", "TQ22", "Uac1", "Uac1"},
        {"auab", "", "Uab", "Uab"},
        {"aua1", "", "Ua", "Ua"},
        {"auca", "", "Uca", "Uca"},
        {"dubc", "", "Uln-m", "Uln-m"},
        {"dsul", "", "Ud ", "Ud "},
        {"flf1", "", "F", "F"},
        {"dIam", "", "dIam", "dIam"},
        {"tms1", "", "tms1", "tms1"},
        // A caption is left alone by a second pass.
        {"Idc1", "", "Idc1", "Idc1"},
        {"Uacdc2", "TQ22", "Uacdc2", "Uacdc2"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(CaptionForFloatName(k.name, k.model), k.caption) << k.name << " " << k.model;
        EXPECT_EQ(LogLabelForFloatName(k.name, k.model), k.label) << k.name << " " << k.model;
    }
}

TEST(ParameterNaming, CaptionsSurviveASecondPass) {
    // The display applies both operations in turn; a caption, once made, must not change.
    const char* names[] = {"dIam", "aIae", "Iae1", "dUam", "aUbc", "dUca", "dsUl", "F123",
                           "diam", "aiae", "duae", "aubc", "duca", "dsul", "flf1", "aUa1"};
    for (const char* model : {"", "TQ22"}) {
        for (const char* name : names) {
            for (const std::string& caption :
                 {CaptionForCodeName(name, model), CaptionForFloatName(name, model)}) {
                if (caption == name) {
                    continue;  // not of this kind
                }
                EXPECT_EQ(CaptionForFloatName(caption, model), caption) << name;
                EXPECT_EQ(CaptionForCodeName(caption, model), caption) << name;
            }
        }
    }
}

}  // namespace
