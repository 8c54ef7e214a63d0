// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "iec101/iec101_master.h"
#include "iec101_test_support.h"

namespace {

// A master whose parameters have the given addresses, all expected, none received yet.
struct Decoder {
    explicit Decoder(std::vector<uint32_t> addresses, IecWidths widths = {1, 2, 1}) {
        std::vector<IecParameter> params;
        for (uint32_t a : addresses) {
            params.push_back({"p", a});
        }
        master.SetParameters(params);
        master.SetWidths(widths);
        Prepare(std::vector<uint8_t>(addresses.size(), 0xFF), 4 * addresses.size());
    }
    // The tables of a set: the expected mask and the value table's size.
    void Prepare(std::vector<uint8_t> expected, size_t tableBytes) {
        std::vector<uint8_t> received(expected.size(), 0);
        master.PrepareValueSet(std::move(received), std::move(expected), tableBytes);
        master.RestartExpectedSet();
    }
    size_t Parse(const std::string& asdu) { return master.ParseAsdu(Hex(asdu)); }
    std::vector<uint8_t> Slot(size_t n, size_t width) const {
        return {master.ValueTable().begin() + static_cast<long>(n * width),
                master.ValueTable().begin() + static_cast<long>(n * width + width)};
    }

    Iec101Results results;
    Iec101Master master{results};
};

}  // namespace

TEST(AsduParse, SequenceOfNormalisedValuesStepsByOne) {
    Decoder d({0x0100, 0x0101, 0x0102});
    EXPECT_EQ(d.Parse("09 83 14 01 00 01 34 12 00 78 56 00 BC 9A 00"), 3u);
    EXPECT_EQ(d.Slot(0, 2), Hex("12 34"));
    EXPECT_EQ(d.Slot(1, 2), Hex("56 78"));
    EXPECT_EQ(d.Slot(2, 2), Hex("9A BC"));
    EXPECT_TRUE(d.results.setComplete);
    EXPECT_EQ(d.results.valueType, 9);
    EXPECT_EQ(d.results.lastCause, 0x14);
}

TEST(AsduParse, SequenceOfFloatsStepsByTwo) {
    Decoder d({0x0100, 0x0101, 0x0102, 0x0103, 0x0104});
    EXPECT_EQ(d.Parse("0D 83 14 01 00 01 00 00 80 3F 00 00 00 00 40 00 00 00 40 40 00"), 3u);
    EXPECT_EQ(d.Slot(0, 4), Hex("3F 80 00 00"));
    EXPECT_EQ(d.Slot(1, 4), Hex("00 00 00 00"));  // 0x0101 is not in the sequence
    EXPECT_EQ(d.Slot(2, 4), Hex("40 00 00 00"));
    EXPECT_EQ(d.Slot(4, 4), Hex("40 40 00 00"));
    EXPECT_EQ(d.master.ReceivedFlags(), Hex("FF 00 FF 00 FF"));
    EXPECT_FALSE(d.results.setComplete);
}

TEST(AsduParse, ObjectsWithTheirOwnAddresses) {
    Decoder d({0x0010, 0x00C8});
    // IOA 0x00C8 (low byte above 0x7F) and an unknown IOA 0x0011 that changes nothing.
    EXPECT_EQ(d.Parse("15 03 03 01 C8 00 22 11 11 00 FF FF 10 00 44 33"), 3u);
    EXPECT_EQ(d.Slot(0, 2), Hex("33 44"));
    EXPECT_EQ(d.Slot(1, 2), Hex("11 22"));
    EXPECT_TRUE(d.results.setComplete);
    EXPECT_EQ(d.results.valueType, 21);
}

TEST(AsduParse, Cp24TimeTagOfTheFirstKnownObjectOnly) {
    Decoder d({0x0001, 0x0002});
    d.results.asduTime = {1, 0x0203, 0x0304, 24};
    // Type 10: an unknown object first, then two known ones with different tags.
    EXPECT_EQ(d.Parse("0A 03 03 01 09 00 01 00 00 11 11 11 "
                      "01 00 02 00 00 E8 03 2A "
                      "02 00 03 00 00 D0 07 2B"),
              3u);
    EXPECT_EQ(d.results.asduTime, (AsduTime{1000, 0x002A, 0x0304, 24}));
    EXPECT_EQ(d.Slot(0, 2), Hex("00 02"));
    EXPECT_EQ(d.Slot(1, 2), Hex("00 03"));

    Decoder f({0x0001});
    EXPECT_EQ(f.Parse("0E 01 03 01 01 00 00 00 80 3F 00 10 27 3B"), 1u);
    EXPECT_EQ(f.results.asduTime.milliseconds, 10000);
    EXPECT_EQ(f.results.asduTime.hourMinute, 0x3B);
    EXPECT_EQ(f.Slot(0, 4), Hex("3F 80 00 00"));
}

TEST(AsduParse, Cp56TimeTagsAndTheSkippedTagOfType35) {
    Decoder d({0x0001});
    // Type 36, 2024-03-13 (Wednesday) 14:05:07.004 with the summer-time bit in the hour.
    EXPECT_EQ(d.Parse("24 01 03 01 01 00 00 00 C8 42 00 5C 1B 05 8E 6D 03 18"), 1u);
    EXPECT_EQ(d.results.asduTime, (AsduTime{7004, 0x8E05, 0x036D, 24}));
    EXPECT_EQ(d.Slot(0, 4), Hex("42 C8 00 00"));

    Decoder n({0x0001});
    EXPECT_EQ(n.Parse("22 01 03 01 01 00 34 12 00 E8 03 3B 17 31 0C 63"), 1u);
    EXPECT_EQ(n.results.asduTime, (AsduTime{1000, 0x173B, 0x0C31, 99}));

    Decoder s({0x0001});
    s.results.asduTime = {5, 6, 7, 8};
    EXPECT_EQ(s.Parse("23 01 03 01 01 00 34 12 00 E8 03 3B 17 31 0C 63"), 1u);
    EXPECT_EQ(s.results.asduTime, (AsduTime{5, 6, 7, 8}));
    EXPECT_EQ(s.Slot(0, 2), Hex("12 34"));
    EXPECT_EQ(s.results.valueType, 35);
}

TEST(AsduParse, TypeAndCauseFields) {
    Decoder d({0x0001, 0x0002});
    d.Parse("0D 01 14 01 01 00 00 00 80 3F 00");
    EXPECT_EQ(d.results.valueType, 13);
    // A control-direction type updates the type and the cause but not the value type, and
    // the cause keeps its test and negative bits.
    d.Parse("64 01 C7 01 00 00 14");
    EXPECT_EQ(d.results.lastType, 100);
    EXPECT_EQ(d.results.lastCause, 0xC7);
    EXPECT_EQ(d.results.valueType, 13);
    d.Parse("8F 81 14 01 02 00 01 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(d.results.valueType, 143);
    d.Parse("30 01 03 01 01 00 00 00");  // type 48: below 100, not decoded
    EXPECT_EQ(d.results.valueType, 48);
    EXPECT_EQ(d.Slot(1, 2), Hex("00 01"));  // from the 143 block
}

TEST(AsduParse, OnlyExpectedParametersHoldASetBack) {
    Decoder d({0x0001, 0x0002, 0x0003});
    d.Prepare(Hex("FF FF 00"), 12);
    EXPECT_EQ(d.master.ReceivedFlags(), Hex("00 00 FF"));
    d.Parse("09 01 14 01 01 00 11 00 00");
    EXPECT_FALSE(d.results.setComplete);
    d.Parse("09 01 14 01 02 00 22 00 00");
    EXPECT_TRUE(d.results.setComplete);
    EXPECT_EQ(d.master.ReceivedFlags(), Hex("00 00 FF"));  // the next set has begun

    // With nothing expected, everything is awaited.
    Decoder none({0x0001, 0x0002});
    none.Prepare(Hex("00 01"), 8);
    EXPECT_EQ(none.master.ReceivedFlags(), Hex("00 00"));
}

TEST(AsduParse, EmptyParameterListCompletesEveryAsdu) {
    Decoder d({});
    d.Parse("64 01 07 01 00 00 14");
    EXPECT_TRUE(d.results.setComplete);
    d.results.setComplete = false;
    d.Parse("0D 01 14 01 01 00 00 00 80 3F 00");
    EXPECT_TRUE(d.results.setComplete);
}

TEST(AsduParse, CompletedSetIsHandedOverAndTheTableZeroed) {
    Decoder d({0x0001, 0x0002});
    const LinkConfig c;
    std::vector<uint8_t> answer;
    const auto first = BuildVariableFrame(0x08, 1, c, Hex("09 01 14 01 01 00 34 12 00"));
    EXPECT_EQ(d.master.ClassifyAnswer(first, answer, c), kReceiveOk);
    EXPECT_TRUE(answer.empty());
    const auto second = BuildVariableFrame(0x08, 1, c, Hex("09 01 14 01 02 00 78 56 00"));
    EXPECT_EQ(d.master.ClassifyAnswer(second, answer, c), kReceiveOk);
    EXPECT_EQ(answer, Hex("00 00 12 34 56 78 00 00 00 00"));
    EXPECT_EQ(d.master.ValueTable(), std::vector<uint8_t>(8, 0));
    EXPECT_TRUE(d.results.setComplete);  // the owner clears it
}

TEST(AsduParse, BlockTimeTagCountsOnlyWhenTheBlockCompletesTheSet) {
    // 145: floats, IOA step 2, always a sequence (the SQ bit is 0 here).
    const std::string block =
        "91 02 14 01 10 00 00 00 80 3F 00 00 00 00 40 00 E8 03 05 0E 6D 03 18";
    Decoder known({0x0010, 0x0012});
    EXPECT_EQ(known.Parse(block), 2u);
    EXPECT_TRUE(known.results.setComplete);
    EXPECT_EQ(known.results.asduTime, (AsduTime{1000, 0x0E05, 0x036D, 24}));
    EXPECT_EQ(known.Slot(1, 4), Hex("40 00 00 00"));

    // The last IOA is not in the list: the set completes, the time fields stay.
    Decoder lastUnknown({0x0010});
    lastUnknown.results.asduTime = {1, 2, 3, 4};
    lastUnknown.Parse(block);
    EXPECT_TRUE(lastUnknown.results.setComplete);
    EXPECT_EQ(lastUnknown.results.asduTime, (AsduTime{1, 2, 3, 4}));

    // The set is not complete yet: no time.
    Decoder incomplete({0x0010, 0x0012, 0x0014});
    incomplete.Parse(block);
    EXPECT_FALSE(incomplete.results.setComplete);
    EXPECT_EQ(incomplete.results.asduTime, AsduTime{});

    // 143: 16-bit values, step 1.
    Decoder codes({0x0020, 0x0021});
    EXPECT_EQ(codes.Parse("8F 02 14 01 20 00 01 02 00 03 04 00 10 27 00 00 01 01 00"), 2u);
    EXPECT_EQ(codes.Slot(1, 2), Hex("04 03"));
    EXPECT_EQ(codes.results.asduTime.milliseconds, 10000);
}

TEST(AsduParse, ShortAsdusAreDecodedAsFarAsTheyHold) {
    // Three floats announced, two present.
    Decoder d({0x0100, 0x0102, 0x0104});
    EXPECT_EQ(d.Parse("0D 83 14 01 00 01 00 00 80 3F 00 00 00 00 40 00"), 2u);
    EXPECT_EQ(d.master.ReceivedFlags(), Hex("FF FF 00"));
    // An element cut in half is not stored.
    Decoder half({0x0100});
    EXPECT_EQ(half.Parse("0D 01 14 01 00 01 00 00"), 0u);
    EXPECT_EQ(half.master.ValueTable(), std::vector<uint8_t>(4, 0));
    // The next IOA missing, and the header cut inside the first IOA.
    Decoder ioa({0x0001, 0x0002});
    EXPECT_EQ(ioa.Parse("09 02 14 01 01 00 34 12 00 02"), 1u);
    EXPECT_EQ(ioa.Parse("09 7F 14 01 01"), 0u);
    EXPECT_EQ(ioa.Parse("09 01"), 0u);
    // A complete block whose common time tag is cut off completes without the time.
    Decoder block({0x0010});
    EXPECT_EQ(block.Parse("91 01 14 01 10 00 00 00 80 3F 00 E8 03 05"), 1u);
    EXPECT_TRUE(block.results.setComplete);
    EXPECT_EQ(block.results.asduTime, AsduTime{});
    // A value slot outside a table that is too small is not written.
    Decoder small({0x0001, 0x0002});
    small.Prepare({0xFF, 0xFF}, 6);
    small.Parse("0D 01 14 01 02 00 00 00 80 3F 00");
    EXPECT_EQ(small.master.ValueTable(), std::vector<uint8_t>(6, 0));
    EXPECT_EQ(small.master.ReceivedFlags(), Hex("00 FF"));
}

TEST(AsduParse, WiderCauseAndAddressMoveTheFirstIoa) {
    Decoder d({0x030201}, {2, 3, 2});
    EXPECT_EQ(d.Parse("09 01 14 00 01 00 01 02 03 34 12 00"), 1u);
    EXPECT_EQ(d.Slot(0, 2), Hex("12 34"));
    Decoder one({0x05}, {1, 1, 1});
    EXPECT_EQ(one.Parse("09 01 14 01 05 34 12 00"), 1u);
    EXPECT_EQ(one.Slot(0, 2), Hex("12 34"));
}

TEST(AsduParse, FindParameterIndex) {
    Decoder d({0x10, 0xC8, 0x10});
    EXPECT_EQ(d.master.FindParameterIndex(0x10), 0);
    EXPECT_EQ(d.master.FindParameterIndex(0xC8), 1);
    EXPECT_EQ(d.master.FindParameterIndex(0x11), Iec101Master::kNoParameter);
}

TEST(IecParameters, AddressTextsAreReadAsHexadecimal) {
    EXPECT_EQ(ParseHexAddress("0x0000C8 "), 0xC8u);
    EXPECT_EQ(ParseHexAddress("0x001234 "), 0x1234u);
    EXPECT_EQ(ParseHexAddress("  0X00abcdef"), 0xABCDEFu);
    EXPECT_EQ(ParseHexAddress("C8"), 0xC8u);
    EXPECT_EQ(ParseHexAddress(""), 0u);
    EXPECT_EQ(ParseHexAddress("0x"), 0u);
    EXPECT_EQ(ParseHexAddress("zz"), 0u);
    EXPECT_EQ(ParseHexAddress("0x1FFFFFFFF"), 0xFFFFFFFFu);
    const auto params =
        IecParametersFromTexts({"Ua  ", "0x000100 ", "2", "Ub  ", "0x000102 ", "2", "Uc  "});
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[1], (IecParameter{"Ub  ", 0x102}));
}
