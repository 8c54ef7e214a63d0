// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "polling/polling_controller.h"

namespace {

TransducerConfig ConfigOf(std::initializer_list<const char*> names, bool valueIsFloat) {
    TransducerConfig c;
    c.modelName = "TQ41";
    c.valueIsFloat = valueIsFloat;
    uint32_t address = 0x10;
    for (const char* name : names) {
        ConfigParameter p;
        p.address = address++;
        AddConfigParameter(c, name, p);
    }
    return c;
}

}  // namespace

TEST(ParameterChoices, WidthMustMatchAndClockRegistersNeverShow) {
    const TransducerConfig codes = ConfigOf({"Ua  ", "ua  ", "tms "}, false);
    const std::vector<ParameterChoice> a = ParameterChoicesOf(codes);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].name, "Ua  ");
    EXPECT_EQ(a[0].address, 0x10u);

    const TransducerConfig floats = ConfigOf({"Ua  ", "ua  ", "tms "}, true);
    const std::vector<ParameterChoice> b = ParameterChoicesOf(floats);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].name, "ua  ");
    EXPECT_EQ(b[0].address, 0x11u);
}

TEST(ParameterChoices, LabelsAreTheDisplayCaptions) {
    const std::vector<ParameterChoice> codes =
        ParameterChoicesOf(ConfigOf({"aUa1", "aUab", "Frq1", "thm1"}, false));
    ASSERT_EQ(codes.size(), 3u);
    EXPECT_EQ(codes[0].label, "Ua");
    EXPECT_EQ(codes[1].label, "Uab");
    EXPECT_EQ(codes[2].label, "F");
    // 32-bit names pass through the float captions.
    const std::vector<ParameterChoice> floats =
        ParameterChoicesOf(ConfigOf({"aua1", "flf1", "ty11"}, true));
    ASSERT_EQ(floats.size(), 2u);
    EXPECT_EQ(floats[0].label, "Ua");
    EXPECT_EQ(floats[1].label, "F");
    EXPECT_TRUE(ParameterChoicesOf(ConfigOf({}, false)).empty());
}
