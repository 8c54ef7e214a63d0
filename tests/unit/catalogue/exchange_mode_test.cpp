// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <set>

#include "catalogue/exchange_mode.h"
#include "catalogue/transducer_config.h"

// Every byte of the record reads as a mode: the named ones by their table entry, the others
// as "no exchange"; only modes 1 and 2 prepare the IEC-101 master.
TEST(ExchangeMode, EveryRecordByteHasItsMeaning) {
    std::set<uint8_t> named;
    for (const ExchangeModeEntry& entry : ExchangeModeTable()) {
        EXPECT_EQ(FindExchangeMode(entry.mode), &entry);
        EXPECT_EQ(ExchangeModeName(entry.mode), entry.name);
        EXPECT_NE(entry.name, "no exchange");
        EXPECT_TRUE(named.insert(RecordByteOf(entry.mode)).second) << entry.name;
    }
    EXPECT_EQ(named, (std::set<uint8_t>{0, 1, 2, 3, 4, 255}));
    for (int byte = 0; byte <= 255; ++byte) {
        const ExchangeMode mode = ExchangeModeOf(static_cast<uint8_t>(byte));
        EXPECT_EQ(RecordByteOf(mode), byte);
        EXPECT_EQ(PreparesIec101(mode), byte == 1 || byte == 2) << byte;
        if (named.count(static_cast<uint8_t>(byte)) == 0) {
            EXPECT_EQ(FindExchangeMode(mode), nullptr);
            EXPECT_EQ(ExchangeModeName(mode), "no exchange");
        } else {
            EXPECT_EQ(FindExchangeMode(mode)->modbusFraming, byte != 1 && byte != 2) << byte;
        }
    }
}

// An unknown mode byte survives the record's decoding and encoding unchanged.
TEST(ExchangeMode, AnUnknownByteGoesThroughTheRecordUnchanged) {
    TransducerConfig c;
    c.modelName = "TQ21-1";
    c.ExchangeMode = ExchangeModeOf(77);
    AddConfigParameter(c, "dUam", {0x100, 1, 0, 0, 0, 20});
    const std::vector<uint8_t> record = EncodeTransducerConfig(c);
    const ConfigDecodeResult decoded = DecodeTransducerConfig(record, 5);
    ASSERT_TRUE(decoded.accepted());
    EXPECT_EQ(RecordByteOf(decoded.config->ExchangeMode), 77);
    EXPECT_EQ(decoded.config->wordOrder, 2);  // not an IEC-101 mode
}
