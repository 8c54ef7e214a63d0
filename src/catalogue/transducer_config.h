// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/exchange_mode.h"

// The transducer's configuration record (its answer to Modbus function 100) and what the
// programs take from it.

// One parameter of the record, in record order.
struct ConfigParameter {
    uint32_t address = 0;     // register address or information object address
    uint32_t nominal = 0;     // full-scale value, 24 bits significant
    uint8_t divisorCode = 0;  // bits 0-2 decimals code, bits 3-5 unit-prefix code
    uint16_t wordA = 0;       // not interpreted
    uint16_t wordB = 0;       // not interpreted
    uint8_t group = 0;        // interrogation group as a cause of transmission (20, 21 to 36)

    friend bool operator==(const ConfigParameter&, const ConfigParameter&) = default;
};

// One entry of the IEC-101 parameter list: the name, the address as "0x%.6X " and "2".
struct IecParameterText {
    std::string name;
    std::string addressText;
    std::string tag = "2";

    friend bool operator==(const IecParameterText&, const IecParameterText&) = default;
};

// Everything decoded from one configuration record.
struct TransducerConfig {
    static constexpr size_t kMaxParameters = 32;
    static constexpr size_t kBlockOffset = 4;
    static constexpr size_t kBlockSize = 76;

    uint8_t slaveAddress = 0;  // offset 0, not compared
    uint8_t functionCode = 0;  // offset 1, not compared
    uint16_t recordWord = 0;   // kept, not interpreted
    // Bytes 4 to 79 as they arrived; model name, parameter count and timeSupport lie inside.
    std::array<uint8_t, kBlockSize> recordBlock{};
    // The eight model characters up to the first zero byte, UTF-8.
    std::string modelName;
    uint8_t timeSupport = 0;  // nonzero: the transducer keeps a clock
    uint16_t linkAddress = 0;
    uint8_t linkSettingsByte = 0;
    ::ExchangeMode ExchangeMode = ::ExchangeMode::kModbusAscii;
    uint8_t iecAddressWidth = 0;              // link address and common address
    uint8_t iecObjectAddressWidth = 0;        // information object address
    uint8_t iecValueType = 0;                 // type identification of the values
    uint8_t iecCauseWidth = 0;                // cause of transmission
    bool valueIsFloat = false;                // value type 13, 14, 36 or 145
    bool valuesTimeTagged = false;            // value type 10, 14, 34, 36, 143 or 145
    std::array<uint8_t, 2> keptBytes{};       // offsets 88 and 89, not interpreted
    std::vector<std::string> parameterNames;  // four characters each, UTF-8
    std::vector<uint32_t> parameterAddresses;
    std::vector<ConfigParameter> parameters;  // at most kMaxParameters
    std::array<uint32_t, 6> keptWords{};      // not interpreted
    std::vector<uint8_t> groupBytes;
    uint8_t skipLength = 40;    // 32 or 40 bytes between the group bytes and the trailer
    uint16_t trailerWord1 = 0;  // not interpreted
    uint16_t trailerWord2 = 0;  // bit 2 selects the word order
    uint16_t wordOrder = 2;     // 0, 1 or 2: how 32-bit values are assembled
    std::vector<IecParameterText> IecParameterList;

    friend bool operator==(const TransducerConfig&, const TransducerConfig&) = default;
};

bool IsFloatValueType(uint8_t valueType);
bool IsTimeTaggedValueType(uint8_t valueType);

// The word order a record states: 0 in the IEC-101 modes 1 and 2, else 1 when bit 2 of the
// second trailer word is set, else 2.
uint16_t WordOrderFor(ExchangeMode exchangeMode, uint16_t trailerWord2);

// "0x%.6X " of an address.
std::string IecAddressText(uint32_t address);

// Appends one parameter to every list that holds it (names, addresses, table, group bytes,
// IEC parameter list). The caller keeps the count at kMaxParameters or below.
void AddConfigParameter(TransducerConfig& config, std::string name, const ConfigParameter& p);

enum class ConfigFault {
    None,
    AnswerTooShort,     // fewer bytes than the program accepts as an answer at all
    TooManyParameters,  // the parameter count is above the table's 32 records
    RecordTruncated,    // the record ends before its layout does
};

struct ConfigRejection {
    ConfigFault fault = ConfigFault::None;
    size_t answerLength = 0;
    size_t requiredLength = 0;  // bytes the layout needed (AnswerTooShort, RecordTruncated)
    size_t parameterCount = 0;  // the count the record stated (TooManyParameters)
};

// A short description of a rejection, for diagnostics.
std::string DescribeRejection(const ConfigRejection& rejection);

struct ConfigDecodeResult {
    std::optional<TransducerConfig> config;  // set when the record was accepted
    ConfigRejection rejection;               // why not, when it was not

    bool accepted() const { return config.has_value(); }
};

// Decodes an answer to the configuration request: the address and function bytes followed by
// the data, checksum removed. An answer below minimumAnswerLength bytes, a count above 32 or
// a record that ends before its layout is rejected; nothing outside the answer is read.
ConfigDecodeResult DecodeTransducerConfig(std::span<const uint8_t> answer,
                                          size_t minimumAnswerLength);

// The length of the record layout for n parameters with the given skip (32 or 40).
size_t ConfigRecordLength(size_t parameterCount, size_t skipLength);

// recordBlock with the model name (zero-padded when shorter than eight characters), the
// parameter count and timeSupport written over it: the block that the record of this
// configuration carries.
std::array<uint8_t, TransducerConfig::kBlockSize> RecordBlockOf(const TransducerConfig& config);

// The record (address byte first, no checksum) that decodes to this configuration. The
// parameter count is parameters.size() (at most 32); addresses and groups come from
// parameters, names from parameterNames (zero bytes where a name is missing or short);
// wordOrder 1 or 2 sets or clears bit 2 of the second trailer word outside modes 1 and 2;
// skipLength 32 gives the short skip, anything else the 40-byte one.
std::vector<uint8_t> EncodeTransducerConfig(const TransducerConfig& config);
