// SPDX-License-Identifier: MIT
#include "polling/measurement_display.h"

#include <gtest/gtest.h>

#include "support/russian_locale.h"

namespace {

// A configuration with the given names (codes at consecutive addresses, nominal 5000, tenths).
TransducerConfig ConfigWith(const std::vector<std::string>& names, const std::string& model,
                            uint8_t timeSupport = 1) {
    TransducerConfig c;
    c.modelName = model;
    c.timeSupport = timeSupport;
    c.wordOrder = 1;
    c.ExchangeMode = ExchangeMode::kModbusRtu;
    for (size_t i = 0; i < names.size(); ++i) {
        ConfigParameter p;
        p.address = static_cast<uint32_t>(0x100 + i);
        p.nominal = 5000;
        p.divisorCode = (1 << 3) | 3;
        AddConfigParameter(c, names[i], p);
    }
    return c;
}

struct Refresh {
    TransducerConfig config;
    PollGroup group;
    SlotCaptions captions;
    DisplayInput input;

    Refresh(const std::vector<std::string>& names, const std::string& model, SlotCaptions slots)
        : config(ConfigWith(names, model)), captions(std::move(slots)) {
        group.names = names;
        input.group = &group;
        input.config = &config;
        input.exchangeMode = ExchangeMode::kModbusRtu;
        input.logColumns.assign(names.size(), true);
    }
    DisplayResult Run(const std::vector<uint8_t>& answer) {
        input.values = RegisterAnswerValues(answer);
        return RefreshValues(input, captions);
    }
};

std::vector<uint8_t> Answer(std::initializer_list<uint16_t> registers) {
    std::vector<uint8_t> a = {1, 4, static_cast<uint8_t>(2 * registers.size())};
    for (uint16_t r : registers) {
        a.push_back(static_cast<uint8_t>(r >> 8));
        a.push_back(static_cast<uint8_t>(r));
    }
    return a;
}

const SlotCaptions kThreePhase = {"Ua", "Ub", "Uc", "", "", "F", "Uab", "Ubc", "Uca"};

}  // namespace

TEST(MeasurementDisplay, ShortAnswerShowsWhatItHoldsAndEndsTheWalk) {
    Refresh r({"aUa1", "aUb1", "aUc1", "aUab", "aUbc"}, "TQ41", kThreePhase);
    auto answer = Answer({10, 20, 30, 40, 50});
    answer.resize(3 + 6);  // three values only
    const DisplayResult d = r.Run(answer);
    EXPECT_EQ(d.values[0], "10");
    EXPECT_EQ(d.values[1], "20");
    EXPECT_EQ(d.values[2], "30");
    // The line slots show the phase values they contain; the line values did not arrive.
    EXPECT_EQ(d.values[6], "10");
    EXPECT_EQ(d.values[7], "20");
    EXPECT_EQ(d.cells.size(), 3u);

    // A 32-bit value with only two of its four bytes left is not read.
    Refresh f({"aua1"}, "TQ51", kThreePhase);
    EXPECT_TRUE(f.Run({1, 4, 2, 0x41, 0x45}).cells.empty());
}

TEST(MeasurementDisplay, PhaseValueFillsLineSlotsUntilTheLineValueFollows) {
    Refresh a({"aUa1", "aUab"}, "TQ41", kThreePhase);
    DisplayResult d = a.Run(Answer({230, 400}));
    EXPECT_EQ(d.values[0], "230");  // Ua
    EXPECT_EQ(d.values[6], "400");  // Uab: first Ua's value, then its own

    Refresh b({"aUab", "aUa1"}, "TQ41", kThreePhase);
    d = b.Run(Answer({400, 230}));
    EXPECT_EQ(d.values[6], "230");  // ends with the phase value
}

TEST(MeasurementDisplay, FrequencySlotShowsTheUnsignedCodeInRawMode) {
    Refresh r({"Frq1", "aUa1"}, "TQ41", kThreePhase);
    const DisplayResult d = r.Run(Answer({0xFFFE, 0xFFFE}));
    EXPECT_EQ(d.values[5], "65534");
    EXPECT_EQ(d.values[0], "-2");
    EXPECT_EQ(d.cells[0], "65534    \t");  // the re-formatted text is logged too
}

TEST(MeasurementDisplay, ClockBlockAtTheEndOfTheGroup) {
    Refresh r({"aUa1", "tms1", "thm1", "tmd1", "ty11"}, "TQ41", kThreePhase);
    // 15378 ms, 12:30, 5 March, 2024
    const DisplayResult d = r.Run(Answer({230, 15378, 0x0C1E, 0x0305, 0x0018}));
    EXPECT_EQ(d.transducerTimeText, "12 : 30 : 15.37");
    EXPECT_EQ(d.logTimeText, "05_03_2024 12:30:15,37\t");
    EXPECT_TRUE(d.showComputerTime);
    EXPECT_EQ(d.cells, std::vector<std::string>{"230    \t"});

    // Seconds below ten have one digit before the separator.
    Refresh s({"tms1", "thm1", "tmd1", "ty11"}, "TQ41", kThreePhase);
    EXPECT_EQ(s.Run(Answer({7250, 0x0905, 0x0B03, 23})).logTimeText, "03_11_2023 09:05:7,25\t");
    // A clock block cut short ends the refresh without reading past the answer.
    auto cut = Answer({7250, 0x0905, 0x0B03, 23});
    cut.resize(cut.size() - 1);
    EXPECT_FALSE(s.Run(cut).logTimeText.has_value());
}

TEST(MeasurementDisplay, CalvenaDecodesTheFirstClockRegisterToo) {
    Refresh r({"tms1", "thm1", "tmd1", "ty11"}, "TQ41", kThreePhase);
    r.input.clockValueSkipped = false;
    const DisplayResult d = r.Run(Answer({15378, 0x0C1E, 0x0305, 0x0018}));
    EXPECT_EQ(d.transducerTimeText, "12 : 30 : 15.37");
    EXPECT_TRUE(d.cells.empty());
}

TEST(MeasurementDisplay, PlaceholderWithoutClockOrWhenStale) {
    Refresh r({"aUa1"}, "TQ41", kThreePhase);
    r.config.timeSupport = 0;
    EXPECT_EQ(r.Run(Answer({1})).transducerTimeText, "xx : xx : xx.xx");

    Refresh s({"tms1", "thm1", "tmd1", "ty11"}, "TQ41", kThreePhase);
    s.input.clockStaleCount = 3;
    EXPECT_EQ(s.Run(Answer({15378, 0x0C1E, 0x0305, 0x0018})).transducerTimeText, "xx : xx : xx.xx");
}

TEST(MeasurementDisplay, IecAnswerOfType13IsAllFloats) {
    Refresh r({"aUa1", "aUb1"}, "TQ41", kThreePhase);
    r.input.exchangeMode = ExchangeMode::kIec101;
    r.input.lastValueType = 13;
    r.config.wordOrder = 0;
    // 12.34 and -1.5 as IEEE single precision, high byte first.
    const DisplayResult d = r.Run({0, 0, 0, 0x41, 0x45, 0x70, 0xA4, 0xBF, 0xC0, 0x00, 0x00});
    EXPECT_EQ(d.values[0], "12.340");
    EXPECT_EQ(d.values[1], "-1.5000");
    EXPECT_EQ(r.captions[0], "Ua, V");  // 32-bit values bring their units
}

TEST(MeasurementDisplay, PhysicalUnitsScaleCodesAndLabelTheCaption) {
    Refresh r({"dUam"}, "TQ21", {"", "", "", "Udc1", "", "", "", "", ""});
    r.input.physicalUnits = true;
    const DisplayResult d = r.Run(Answer({13107}));
    EXPECT_EQ(d.values[3], "100.00");
    EXPECT_EQ(r.captions[3], "Udc1, V");
    EXPECT_TRUE(d.captionsChanged);
}

TEST(MeasurementDisplay, LogColumnsDecideTheCells) {
    Refresh r({"aUa1", "aUb1"}, "TQ41", kThreePhase);
    r.input.logColumns = {true, false};
    EXPECT_EQ(r.Run(Answer({1, 2})).cells, std::vector<std::string>{"1    \t"});
}

TEST(MeasurementDisplay, TimeTextsDoNotDependOnTheLocale) {
    const RussianLocale russian;
    if (!russian.active()) {
        GTEST_SKIP() << "no Russian locale on this system";
    }
    EXPECT_EQ(ComputerTimeText(14, 5, 7, 0), "14 : 05 : 7.00");
    EXPECT_EQ(TransducerTimeText({9250, 0x0905, 0, 0}), "09 : 05 : 9.25");
}
