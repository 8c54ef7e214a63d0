// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/transducer_config.h"

namespace {

// Appends the fields of a configuration record one by one, high byte first unless noted.
struct RecordWriter {
    std::vector<uint8_t> bytes;

    RecordWriter& Byte(uint8_t b) {
        bytes.push_back(b);
        return *this;
    }
    RecordWriter& Word(uint16_t w) {
        return Byte(static_cast<uint8_t>(w >> 8)).Byte(static_cast<uint8_t>(w & 0xFF));
    }
    RecordWriter& Long(uint32_t v) {
        return Word(static_cast<uint16_t>(v >> 16)).Word(static_cast<uint16_t>(v & 0xFFFF));
    }
    RecordWriter& Fill(size_t count, uint8_t b) {
        bytes.insert(bytes.end(), count, b);
        return *this;
    }
    RecordWriter& Text(const std::string& latin1) {
        for (char c : latin1) {
            Byte(static_cast<uint8_t>(c));
        }
        return *this;
    }
};

struct TestParameter {
    std::string latin1Name;
    uint32_t address;
    uint32_t nominal;
    uint8_t divisorCode;
    uint16_t wordA;
    uint16_t wordB;
    uint8_t group;
};

const std::vector<TestParameter> kFiveParameters{
    {"dUam", 0x1234, 5000, 0x0B, 0x0102, 0x0304, 20},
    {"aIae", 0x00010000, 0x123456, 0x01, 0xA1A2, 0xB1B2, 21},
    {"duam", 200, 100, 0x12, 0, 0xFFFF, 36},
    {"\xE9Uam", 0xFFFFFFFF, 0xFFFFFF, 0xFF, 7, 8, 22},
    {"tms1", 5, 0, 0, 0, 0, 20},
};

struct RecordOptions {
    std::string model = "TQ21-05";  // padded with zeros to eight bytes
    uint8_t countLow = 5;
    uint8_t countHigh = 0;
    uint8_t exchangeMode = 0;
    uint8_t valueType = 14;
    size_t skip = 40;
    uint16_t trailer2 = 0x0004;
    size_t extra = 0;  // bytes after the trailer
};

std::vector<uint8_t> BuildRecord(const std::vector<TestParameter>& params,
                                 const RecordOptions& o = {}) {
    RecordWriter w;
    w.Byte(0x01).Byte(0x64);  // slave address, function 100
    w.Word(0xBEEF);           // record word
    std::string model = o.model;
    model.resize(8, '\0');
    w.Text(model);                         // 4..11
    w.Byte(o.countLow).Byte(o.countHigh);  // 12, 13: N low byte first
    for (uint8_t i = 14; i < 72; ++i) {
        w.Byte(i);  // not interpreted
    }
    w.Byte(0x01);  // 72: timeSupport
    w.Fill(7, 0xAA);
    w.Word(0x0203);  // 80: linkAddress
    w.Byte(0x5C);    // 82: linkSettingsByte
    w.Byte(o.exchangeMode);
    w.Byte(2).Byte(3);  // IEC address and object address widths
    w.Byte(o.valueType);
    w.Byte(1);  // cause of transmission width
    w.Byte(0x11).Byte(0x22);
    for (const auto& p : params) {
        w.Text(p.latin1Name);
    }
    for (const auto& p : params) {
        w.Long(p.address);
    }
    for (const auto& p : params) {
        w.Byte(static_cast<uint8_t>(p.nominal >> 16))
            .Byte(static_cast<uint8_t>(p.nominal >> 8))
            .Byte(static_cast<uint8_t>(p.nominal));
        w.Byte(p.divisorCode);
    }
    for (uint32_t k = 1; k <= 6; ++k) {
        w.Long(0x01010101u * k);
    }
    for (const auto& p : params) {
        w.Word(p.wordA).Word(p.wordB);
    }
    for (const auto& p : params) {
        w.Byte(p.group);
    }
    w.Fill(o.skip, 0xEE);
    w.Word(0x7777).Word(o.trailer2);
    w.Fill(o.extra, 0x99);
    return w.bytes;
}

TransducerConfig MustDecode(const std::vector<uint8_t>& record, size_t minimum = 5) {
    const auto result = DecodeTransducerConfig(record, minimum);
    EXPECT_TRUE(result.accepted()) << DescribeRejection(result.rejection);
    return result.config.value_or(TransducerConfig{});
}

TEST(ConfigRecord, DecodesEveryFieldOfACompleteRecord) {
    const auto record = BuildRecord(kFiveParameters);
    ASSERT_EQ(record.size(), 90u + 17 * 5 + 24 + 40 + 4);
    const TransducerConfig c = MustDecode(record);

    EXPECT_EQ(c.slaveAddress, 0x01);
    EXPECT_EQ(c.functionCode, 0x64);
    EXPECT_EQ(c.recordWord, 0xBEEF);
    EXPECT_EQ(c.modelName, "TQ21-05");
    EXPECT_EQ(c.recordBlock[0], 'T');
    EXPECT_EQ(c.recordBlock[8], 5);    // N, low byte
    EXPECT_EQ(c.recordBlock[10], 14);  // first byte not interpreted
    EXPECT_EQ(c.recordBlock[75], 0xAA);
    EXPECT_EQ(c.timeSupport, 1);
    EXPECT_EQ(c.linkAddress, 0x0203);
    EXPECT_EQ(c.linkSettingsByte, 0x5C);
    EXPECT_EQ(c.ExchangeMode, ExchangeMode::kModbusRtu);
    EXPECT_EQ(c.iecAddressWidth, 2);
    EXPECT_EQ(c.iecObjectAddressWidth, 3);
    EXPECT_EQ(c.iecValueType, 14);
    EXPECT_EQ(c.iecCauseWidth, 1);
    EXPECT_EQ(c.keptBytes, (std::array<uint8_t, 2>{0x11, 0x22}));

    // Latin-1 é (E9) becomes the two UTF-8 bytes C3 A9.
    EXPECT_EQ(c.parameterNames,
              (std::vector<std::string>{"dUam", "aIae", "duam", "\xC3\xA9Uam", "tms1"}));
    EXPECT_EQ(c.parameterAddresses,
              (std::vector<uint32_t>{0x1234, 0x00010000, 200, 0xFFFFFFFF, 5}));
    ASSERT_EQ(c.parameters.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        const auto& want = kFiveParameters[i];
        EXPECT_EQ(c.parameters[i], (ConfigParameter{want.address, want.nominal, want.divisorCode,
                                                    want.wordA, want.wordB, want.group}))
            << i;
    }
    EXPECT_EQ(c.keptWords[0], 0x01010101u);
    EXPECT_EQ(c.keptWords[5], 0x06060606u);
    EXPECT_EQ(c.groupBytes, (std::vector<uint8_t>{20, 21, 36, 22, 20}));
    EXPECT_EQ(c.skipLength, 40);
    EXPECT_EQ(c.trailerWord1, 0x7777);
    EXPECT_EQ(c.trailerWord2, 0x0004);
    EXPECT_EQ(c.wordOrder, 1);

    ASSERT_EQ(c.IecParameterList.size(), 5u);
    EXPECT_EQ(c.IecParameterList[0], (IecParameterText{"dUam", "0x001234 ", "2"}));
    EXPECT_EQ(c.IecParameterList[1].addressText, "0x010000 ");
    EXPECT_EQ(c.IecParameterList[3].addressText, "0xFFFFFFFF ");
    EXPECT_EQ(c.IecParameterList[3].name, "\xC3\xA9Uam");
}

TEST(ConfigRecord, CountIsLowByteFirst) {
    // 05 00 is five; 00 01 would be 256 and is refused.
    EXPECT_EQ(MustDecode(BuildRecord(kFiveParameters)).parameters.size(), 5u);
    RecordOptions swapped;
    swapped.countLow = 0;
    swapped.countHigh = 5;
    const auto result = DecodeTransducerConfig(BuildRecord(kFiveParameters, swapped), 5);
    EXPECT_FALSE(result.accepted());
    EXPECT_EQ(result.rejection.fault, ConfigFault::TooManyParameters);
    EXPECT_EQ(result.rejection.parameterCount, 0x500u);
}

TEST(ConfigRecord, SkipLengthFollowsWhatIsLeftAfterTheGroupBytes) {
    struct Case {
        size_t skip;
        size_t extra;
        bool accepted;
        size_t skipRead;
    };
    // From the group bytes on: 36 to 42 bytes take the short skip, 44 and more the long one;
    // 43 would put the second trailer word past the end.
    const Case cases[] = {
        {32, 0, true, 32}, {32, 6, true, 32}, {32, 7, false, 0},
        {40, 0, true, 40}, {40, 9, true, 40}, {32, 8, true, 40},
    };
    for (const auto& k : cases) {
        RecordOptions o;
        o.skip = k.skip;
        o.extra = k.extra;
        o.trailer2 = 0;
        const auto result = DecodeTransducerConfig(BuildRecord(kFiveParameters, o), 5);
        ASSERT_EQ(result.accepted(), k.accepted) << k.skip << "+" << k.extra;
        if (k.accepted) {
            EXPECT_EQ(result.config->skipLength, k.skipRead);
            if (k.skip == k.skipRead) {
                EXPECT_EQ(result.config->trailerWord1, 0x7777);
                EXPECT_EQ(result.config->wordOrder, 2);
            }
        } else {
            EXPECT_EQ(result.rejection.fault, ConfigFault::RecordTruncated);
        }
    }
}

TEST(ConfigRecord, ValueTypeSetsTheTwoFlags) {
    struct Case {
        uint8_t type;
        bool isFloat;
        bool timeTagged;
    };
    const Case cases[] = {{14, true, true},   {13, true, false}, {34, false, true},
                          {11, false, false}, {10, false, true}, {36, true, true},
                          {143, false, true}, {145, true, true}, {9, false, false}};
    for (const auto& k : cases) {
        RecordOptions o;
        o.valueType = k.type;
        const auto c = MustDecode(BuildRecord(kFiveParameters, o));
        EXPECT_EQ(c.valueIsFloat, k.isFloat) << int{k.type};
        EXPECT_EQ(c.valuesTimeTagged, k.timeTagged) << int{k.type};
    }
}

TEST(ConfigRecord, WordOrderFromTrailerOutsideTheIecModes) {
    struct Case {
        uint8_t mode;
        uint16_t trailer2;
        uint16_t wordOrder;
    };
    const Case cases[] = {{0, 0x0004, 1}, {0, 0xFFFB, 2}, {255, 0x0004, 1}, {4, 0, 2},
                          {1, 0x0004, 0}, {2, 0x0004, 0}, {1, 0, 0},        {2, 0xFFFF, 0}};
    for (const auto& k : cases) {
        RecordOptions o;
        o.exchangeMode = k.mode;
        o.trailer2 = k.trailer2;
        EXPECT_EQ(MustDecode(BuildRecord(kFiveParameters, o)).wordOrder, k.wordOrder)
            << int{k.mode} << " " << k.trailer2;
    }
}

TEST(ConfigRecord, ZeroByteEndsTheModelTextButTheBlockKeepsAll) {
    RecordOptions o;
    o.model = std::string(
        "TQ2\0"
        "2abc",
        8);
    const auto c = MustDecode(BuildRecord(kFiveParameters, o));
    EXPECT_EQ(c.modelName, "TQ2");
    EXPECT_EQ(c.recordBlock[3], 0);
    EXPECT_EQ(c.recordBlock[4], '2');

    o.model = std::string(8, '\0');
    EXPECT_EQ(MustDecode(BuildRecord(kFiveParameters, o)).modelName, "");
    o.model = "\xC4TQ10xyz";  // a byte above 127 is a character by its code
    EXPECT_EQ(MustDecode(BuildRecord(kFiveParameters, o)).modelName, "\xC3\x84TQ10xyz");
}

TEST(ConfigRecord, NoParametersAndTheFullTable) {
    RecordOptions none;
    none.countLow = 0;
    const auto empty = MustDecode(BuildRecord({}, none));
    EXPECT_TRUE(empty.parameterNames.empty());
    EXPECT_TRUE(empty.IecParameterList.empty());

    std::vector<TestParameter> many;
    for (uint32_t i = 0; i < 32; ++i) {
        many.push_back({"aUam", 100 + i, i, 0, 0, 0, 20});
    }
    RecordOptions full;
    full.countLow = 32;
    const auto c = MustDecode(BuildRecord(many, full));
    ASSERT_EQ(c.parameters.size(), 32u);
    EXPECT_EQ(c.parameters[31].address, 131u);
}

TEST(ConfigRecord, CountAboveTheTableIsRejected) {
    std::vector<TestParameter> many(33, TestParameter{"aUam", 1, 1, 0, 0, 0, 20});
    RecordOptions o;
    o.countLow = 33;
    const auto result = DecodeTransducerConfig(BuildRecord(many, o), 5);
    EXPECT_FALSE(result.accepted());
    EXPECT_EQ(result.rejection.fault, ConfigFault::TooManyParameters);
    EXPECT_EQ(result.rejection.parameterCount, 33u);
}

TEST(ConfigRecord, EveryShorterAnswerIsRejected) {
    RecordOptions o;
    o.skip = 32;
    const auto record = BuildRecord(kFiveParameters, o);
    for (size_t length = 0; length < record.size(); ++length) {
        const std::vector<uint8_t> part(record.begin(), record.begin() + length);
        const auto result = DecodeTransducerConfig(part, 5);
        ASSERT_FALSE(result.accepted()) << length;
        EXPECT_EQ(result.rejection.answerLength, length);
        EXPECT_EQ(result.rejection.fault,
                  length < 5 ? ConfigFault::AnswerTooShort : ConfigFault::RecordTruncated)
            << length;
    }
    EXPECT_TRUE(DecodeTransducerConfig(record, 5).accepted());
}

TEST(ConfigRecord, MinimumAnswerIsTheCallersChoice) {
    const std::vector<uint8_t> four{1, 100, 0, 0};
    const std::vector<uint8_t> five{1, 100, 0, 0, 0};
    EXPECT_EQ(DecodeTransducerConfig(four, 5).rejection.fault, ConfigFault::AnswerTooShort);
    EXPECT_EQ(DecodeTransducerConfig(five, 6).rejection.fault, ConfigFault::AnswerTooShort);
    EXPECT_EQ(DecodeTransducerConfig(five, 6).rejection.requiredLength, 6u);
    EXPECT_EQ(DecodeTransducerConfig(five, 5).rejection.fault, ConfigFault::RecordTruncated);
    EXPECT_FALSE(DescribeRejection(DecodeTransducerConfig(five, 5).rejection).empty());
}

TEST(ConfigRecord, EncodingReproducesADecodedRecord) {
    for (size_t skip : {size_t{32}, size_t{40}}) {
        RecordOptions o;
        o.skip = skip;
        auto record = BuildRecord(kFiveParameters, o);
        // The skipped bytes are not kept; the encoder writes zeros there.
        const size_t skipStart = record.size() - 4 - skip;
        std::fill_n(record.begin() + static_cast<ptrdiff_t>(skipStart), skip, uint8_t{0});
        EXPECT_EQ(EncodeTransducerConfig(MustDecode(record)), record) << skip;
    }
}

TEST(ConfigRecord, EncodedConfigurationDecodesToItself) {
    TransducerConfig c;
    c.slaveAddress = 1;
    c.functionCode = 100;
    c.modelName = "TQ22\xC3\xA9";  // é, one byte in the record
    c.timeSupport = 1;
    c.linkAddress = 0x1234;
    c.linkSettingsByte = 0x45;
    c.ExchangeMode = ExchangeMode::kIec101;
    c.iecValueType = 13;
    c.valueIsFloat = true;
    c.iecAddressWidth = 1;
    c.iecObjectAddressWidth = 2;
    c.iecCauseWidth = 1;
    c.trailerWord2 = 0x0004;
    c.wordOrder = 0;
    c.skipLength = 32;
    AddConfigParameter(c, "duam", {0x4001, 250, 0x0A, 1, 2, 21});
    AddConfigParameter(c, "tmsX", {0x4003, 0, 0, 0, 0, 20});
    c.recordBlock = RecordBlockOf(c);

    const auto decoded = MustDecode(EncodeTransducerConfig(c));
    EXPECT_EQ(decoded, c);

    // Outside the IEC modes the word order is carried by the trailer bit.
    c.ExchangeMode = ExchangeMode::kModbusRtu;
    for (uint16_t order : {uint16_t{1}, uint16_t{2}}) {
        c.wordOrder = order;
        EXPECT_EQ(MustDecode(EncodeTransducerConfig(c)).wordOrder, order);
    }
}

TEST(ConfigRecord, NumbersOfTheIecAddressText) {
    EXPECT_EQ(IecAddressText(0x1234), "0x001234 ");
    EXPECT_EQ(IecAddressText(0), "0x000000 ");
    EXPECT_EQ(IecAddressText(0xABCDEF), "0xABCDEF ");
    EXPECT_EQ(IecAddressText(0x1000000), "0x1000000 ");
}

}  // namespace
