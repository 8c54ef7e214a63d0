// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/model_catalogue.h"
#include "catalogue/number_text.h"
#include "catalogue/value_format.h"
#include "support/russian_locale.h"

namespace {

SlotCaptions Captions(std::initializer_list<const char*> inSlotOrder) {
    SlotCaptions captions;
    size_t slot = 0;
    for (const char* c : inSlotOrder) {
        captions[slot++] = c;
    }
    return captions;
}

std::string FloatText(std::vector<uint8_t> bytes, uint16_t wordOrder, const char* model = "") {
    SlotCaptions captions;
    return DecodeValue(bytes, true, {wordOrder, model, true}, captions).text;
}

TEST(DecodeValue, WordOrdersOfAThirtyTwoBitValue) {
    EXPECT_EQ(FloatText({0x41, 0x45, 0x70, 0xA4}, 1), "12.340");
    EXPECT_EQ(FloatText({0x41, 0x45, 0x70, 0xA4}, 0), "12.340");
    EXPECT_EQ(FloatText({0x70, 0xA4, 0x41, 0x45}, 2), "12.340");
    SlotCaptions captions;
    const auto v = DecodeValue(std::vector<uint8_t>{0x41, 0x45, 0x70, 0xA4, 0x00}, true,
                               {1, "", true}, captions);
    EXPECT_EQ(v.bytesUsed, 4);
}

TEST(DecodeValue, FiveSignificantDigits) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {
        {12.3456789f, "12.346"}, {0.5f, "0.5000"},      {-1.5f, "-1.5000"},
        {1234.5f, "1234.50000"}, {999.996f, "1000.00"}, {0.0f, "0.0000"},
        {-12.5f, "-12.500"},     {-123.25f, "-123.25"}, {-1234.5f, "-1234.50000"},
        {99.9999f, "100.000"},   {123.456f, "123.46"},  {1e10f, "10000000000.00000"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(FloatValueText(k.value, ""), k.text) << k.value;
    }
    EXPECT_EQ(FloatValueText(std::numeric_limits<float>::infinity(), ""), "inf");
    EXPECT_EQ(FloatValueText(-std::numeric_limits<float>::infinity(), ""), "-inf");
    EXPECT_EQ(FloatValueText(std::numeric_limits<float>::quiet_NaN(), ""), "nan");
}

TEST(DecodeValue, ModelsThatShowThousandths) {
    EXPECT_EQ(FloatValueText(0.25f, "TQ22"), "250.00");
    EXPECT_EQ(FloatValueText(0.25f, "TQ30-1"), "250.00");
    EXPECT_EQ(FloatValueText(0.25f, "TQ21"), "0.2500");
    EXPECT_EQ(FloatValueText(0.25f, "tq22"), "0.2500");
}

TEST(DecodeValue, ThirtyTwoBitValuesPutUnitsOnEveryCaption) {
    struct Case {
        const char* model;
        SlotCaptions before;
        SlotCaptions after;
    };
    const Case cases[] = {
        {"TQ21", Captions({"Uac1", "Uac2", "F", "Udc1", "", "Iac1", "Uac1, V", "Idc1, A", "x"}),
         Captions(
             {"Uac1, V", "Uac2, V", "F, Hz", "Udc1, V", "", "Iac1, A", "Uac1, V", "Idc1, A", "x"})},
        {"TQ22", Captions({"Udc1", "Iac1", "F, Hz"}), Captions({"Udc1, mV", "Iac1, A", "F, Hz"})},
        {"TQ30", Captions({"Udc1", "Iac1", "Idc2,mA"}),
         Captions({"Udc1, V", "Iac1, mA", "Idc2,mA"})},
    };
    for (const auto& k : cases) {
        SlotCaptions captions = k.before;
        const auto v =
            DecodeValue(std::vector<uint8_t>{0x3E, 0x80, 0, 0}, true, {1, k.model, true}, captions);
        EXPECT_EQ(captions, k.after) << k.model;
        EXPECT_TRUE(v.captionsChanged);
        // A second value finds every unit in place.
        EXPECT_FALSE(
            DecodeValue(std::vector<uint8_t>{0x3E, 0x80, 0, 0}, true, {1, k.model, true}, captions)
                .captionsChanged);
        EXPECT_EQ(captions, k.after);
    }
}

TEST(DecodeValue, CodesAreSignedAndRawCodesCutTheUnits) {
    SlotCaptions captions = Captions({"Uac1, V", "Idc1,mA", "F", ", x", ""});
    auto v = DecodeValue(std::vector<uint8_t>{0x80, 0x00}, false, {1, "", true}, captions);
    EXPECT_EQ(v.text, "-32768");
    EXPECT_EQ(v.code, 0x8000);
    EXPECT_EQ(v.bytesUsed, 2);
    EXPECT_FALSE(v.captionsChanged);
    EXPECT_EQ(captions[0], "Uac1, V");  // physical units keep the suffixes

    v = DecodeValue(std::vector<uint8_t>{0x7F, 0xFF}, false, {1, "", false}, captions);
    EXPECT_EQ(v.text, "32767");
    EXPECT_TRUE(v.captionsChanged);
    EXPECT_EQ(captions, Captions({"Uac1", "Idc1", "F", "", ""}));
    EXPECT_EQ(DecodeValue(std::vector<uint8_t>{0xFF, 0xFE}, false, {1, "", false}, captions).text,
              "-2");
}

TEST(DecodeValue, TooFewBytesDecodeNothing) {
    SlotCaptions captions = Captions({"Uac1"});
    EXPECT_EQ(DecodeValue(std::vector<uint8_t>{1, 2, 3}, true, {1, "", true}, captions).bytesUsed,
              0);
    EXPECT_EQ(DecodeValue(std::vector<uint8_t>{1}, false, {1, "", false}, captions).bytesUsed, 0);
    EXPECT_EQ(captions[0], "Uac1");
}

TransducerConfig ConfigWith(std::vector<std::pair<std::string, ConfigParameter>> params) {
    TransducerConfig c;
    for (auto& [name, p] : params) {
        AddConfigParameter(c, name, p);
    }
    return c;
}

TEST(CodeToPhysicalText, ScalingDecimalsAndPadding) {
    struct Case {
        uint32_t nominal;
        uint8_t divisorCode;
        const char* name;
        uint16_t code;
        const char* text;
    };
    const Case cases[] = {
        {5000, 3, "dUam", 13107, "100.00"},
        {5000, 3, "dUam", 32767, "250.0"},
        {5000, 3, "dUam", static_cast<uint16_t>(-16384), "-125.00"},
        {100, 1, "dUam", 6553, "0.010"},
        {100, 1, "dUam", 0, "0.000"},
        {65536, 2, "dUam", 123, "1.230"},  // below 10: the third decimal is always 0
        {65536, 2, "dUam", static_cast<uint16_t>(-123), "-1.23"},
        {65536, 3, "dUam", 1234, "123.4"},
        {65536, 0, "dUam", 1234, "1234"},
        {65536, 0, "dUam", 1, "1"},  // no padding without decimals
        {65536, 0, "FdUa", 0xFFFF, "65535"},
        {65536, 0, "dUam", 0xFFFF, "-1"},
        {65536, 0, "flfA", 0xFFFF, "65535"},
        {65536, 4, "dUam", 1234, "00000"},
        {65536, 7, "dUam", 1234, "00000"},
        {65536, 0xC1, "dUam", 1234, "1.234"},  // bits 6 and 7 are not read
    };
    for (const auto& k : cases) {
        const auto c = ConfigWith(
            {{"xxxx", {1, 1, 0, 0, 0, 20}}, {k.name, {2, k.nominal, k.divisorCode, 0, 0, 20}}});
        const auto text = CodeToPhysicalText(c, k.name, k.code);
        ASSERT_TRUE(text.has_value()) << k.name;
        EXPECT_EQ(text->text, k.text) << k.nominal << " " << int{k.divisorCode} << " " << k.code;
    }
}

TEST(CodeToPhysicalText, UnknownNameGivesNothing) {
    const auto c = ConfigWith({{"dUam", {1, 100, 1, 0, 0, 20}}});
    EXPECT_FALSE(CodeToPhysicalText(c, "dUa", 5).has_value());
    EXPECT_FALSE(CodeToPhysicalText(c, "dUamX", 5).has_value());
    EXPECT_FALSE(CodeToPhysicalText(TransducerConfig{}, "dUam", 5).has_value());
    // The first parameter of that name decides.
    const auto twice =
        ConfigWith({{"dIam", {1, 65536, 0x00, 0, 0, 20}}, {"dIam", {2, 65536, 0x10, 0, 0, 20}}});
    const auto first = CodeToPhysicalText(twice, "dIam", 7);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->text, "7");
    EXPECT_EQ(first->unit, "mA");
}

TEST(UnitText, PrefixAndQuantity) {
    struct Case {
        const char* name;
        uint8_t prefixCode;
        const char* unit;
    };
    const Case cases[] = {
        {"dIam", 0, "mA"},  {"dUam", 1, " V"},  {"diam", 1, " A"}, {"dUam", 2, "kV"},
        {"dIam", 3, "MA"},  {"dUam", 4, "GV"},  {"dUam", 5, " V"}, {"dUam", 7, " V"},
        {"flf1", 1, " Hz"}, {"Fabc", 2, "kHz"}, {"tms1", 1, "  "}, {"tms1", 0, "m "},
        {"", 1, "  "},      {"dUIa", 1, " A"},  {"UuFf", 1, " V"}, {"Fiuf", 1, " A"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(UnitText(k.name, static_cast<uint8_t>(k.prefixCode << 3 | 0xC2)), k.unit)
            << k.name << " " << int{k.prefixCode};
    }
    const auto c = ConfigWith({{"dUam", {1, 1, 0x13, 0, 0, 20}}});
    EXPECT_EQ(UnitText(c, 0), "kV");
    EXPECT_EQ(UnitText(c, 1), "  ");
    const auto text = CodeToPhysicalText(c, "dUam", 0);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->unit, "kV");
}

TEST(AppendUnitToCaption, OnlyTheFirstEqualCaptionOnce) {
    SlotCaptions captions = Captions({"Iac1", "Udc1", "Udc1", "Udc1, V"});
    EXPECT_TRUE(AppendUnitToCaption("dUam", " V", "", captions));
    EXPECT_EQ(captions, Captions({"Iac1", "Udc1, V", "Udc1", "Udc1, V"}));
    EXPECT_TRUE(AppendUnitToCaption("dUam", "kV", "", captions));
    EXPECT_EQ(captions[2], "Udc1,kV");
    EXPECT_FALSE(AppendUnitToCaption("dUam", "kV", "", captions));  // no bare "Udc1" left
    EXPECT_FALSE(AppendUnitToCaption("aIam", "", "", captions));    // empty unit: no change
    EXPECT_EQ(captions[0], "Iac1");
    // With "TQ22" the name's caption is "Udc2".
    captions = Captions({"Udc1", "Udc2"});
    EXPECT_TRUE(AppendUnitToCaption("dUam", "mV", "TQ22", captions));
    EXPECT_EQ(captions, Captions({"Udc1", "Udc2,mV"}));
}

TEST(AppendUnitToCaption, RawCodeCutThenPhysicalAddsAgain) {
    SlotCaptions captions = Captions({"Udc1"});
    AppendUnitToCaption("dUam", " V", "", captions);
    DecodeValue(std::vector<uint8_t>{0, 1}, false, {1, "", false}, captions);
    EXPECT_EQ(captions[0], "Udc1");
    AppendUnitToCaption("dUam", " V", "", captions);
    EXPECT_EQ(captions[0], "Udc1, V");
}

TEST(NumberText, PrintfResultsWithoutTheLocale) {
    EXPECT_EQ(FormatFixed(0.5, 0), "0");
    EXPECT_EQ(FormatFixed(1.5, 0), "2");
    EXPECT_EQ(FormatFixed(-0.0, 2), "-0.00");
    EXPECT_EQ(FormatFixed(2.675, 2), "2.67");  // the binary value lies below 2.675
    EXPECT_EQ(FormatFixed(1e300, 1).size(), 303u);
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::quiet_NaN(), 2), "-nan");
    EXPECT_EQ(FormatInteger(-32768), "-32768");
    EXPECT_EQ(FormatHexUpper(0xABC, 6), "000ABC");
    EXPECT_EQ(FormatHexUpper(0, 1), "0");
}

// The texts must not change when the process runs under a locale with a decimal comma.
TEST(RussianLocale, TextsKeepTheirDecimalPoint) {
    const RussianLocale russian;
    if (!russian.active()) {
        GTEST_SKIP() << "no Russian locale on this system";
    }
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.2f", 1.5);
    EXPECT_STREQ(printed, "1,50");  // the locale is really in force

    EXPECT_EQ(FloatValueText(12.3456789f, ""), "12.346");
    EXPECT_EQ(FloatValueText(1234.5f, ""), "1234.50000");
    EXPECT_EQ(FloatText({0x70, 0xA4, 0x41, 0x45}, 2), "12.340");
    const auto c = ConfigWith({{"dUam", {1, 5000, 3, 0, 0, 20}}});
    EXPECT_EQ(CodeToPhysicalText(c, "dUam", 13107)->text, "100.00");
    EXPECT_EQ(FormatFixed(-1.25, 1), "-1.2");
    EXPECT_EQ(IecAddressText(0x1234), "0x001234 ");
}

}  // namespace
