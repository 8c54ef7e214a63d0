// SPDX-License-Identifier: MIT
#include "catalogue/transducer_config.h"

#include <algorithm>

#include "catalogue/latin1.h"
#include "catalogue/number_text.h"

namespace {

constexpr size_t kCountOffset = 12;
constexpr size_t kModelOffset = 4;
constexpr size_t kModelLength = 8;
constexpr size_t kTimeSupportOffset = 72;
constexpr size_t kLinkAddressOffset = 80;
constexpr size_t kVariablePartOffset = 90;
constexpr size_t kLongSkip = 40;
constexpr size_t kShortSkip = 32;
// The long skip is taken when at least this many bytes follow the group bytes.
constexpr size_t kLongSkipThreshold = 43;
constexpr size_t kTrailerLength = 4;

// Reads the answer front to back; the caller has checked that the layout fits.
class RecordReader {
  public:
    RecordReader(std::span<const uint8_t> bytes, size_t offset) : bytes_(bytes), offset_(offset) {}

    uint8_t Byte() { return bytes_[offset_++]; }
    uint16_t Word() {
        const auto high = Byte();
        return static_cast<uint16_t>(high << 8 | Byte());
    }
    uint32_t Long() {
        const uint32_t high = Word();
        return high << 16 | Word();
    }
    std::span<const uint8_t> Take(size_t count) {
        const auto part = bytes_.subspan(offset_, count);
        offset_ += count;
        return part;
    }
    void Skip(size_t count) { offset_ += count; }
    size_t offset() const { return offset_; }

  private:
    std::span<const uint8_t> bytes_;
    size_t offset_;
};

void PutWord(std::vector<uint8_t>& out, uint16_t word) {
    out.push_back(static_cast<uint8_t>(word >> 8));
    out.push_back(static_cast<uint8_t>(word & 0xFF));
}

void PutLong(std::vector<uint8_t>& out, uint32_t value) {
    PutWord(out, static_cast<uint16_t>(value >> 16));
    PutWord(out, static_cast<uint16_t>(value & 0xFFFF));
}

ConfigDecodeResult Reject(ConfigFault fault, size_t answerLength, size_t required,
                          size_t count = 0) {
    ConfigDecodeResult result;
    result.rejection = {fault, answerLength, required, count};
    return result;
}

}  // namespace

bool IsFloatValueType(uint8_t valueType) {
    return valueType == 13 || valueType == 14 || valueType == 36 || valueType == 145;
}

bool IsTimeTaggedValueType(uint8_t valueType) {
    return valueType == 10 || valueType == 14 || valueType == 34 || valueType == 36 ||
           valueType == 143 || valueType == 145;
}

uint16_t WordOrderFor(ExchangeMode exchangeMode, uint16_t trailerWord2) {
    if (PreparesIec101(exchangeMode)) {
        return 0;
    }
    return (trailerWord2 & 0x0004) != 0 ? 1 : 2;
}

std::string IecAddressText(uint32_t address) {
    return "0x" + FormatHexUpper(address, 6) + " ";
}

void AddConfigParameter(TransducerConfig& config, std::string name, const ConfigParameter& p) {
    config.IecParameterList.push_back({name, IecAddressText(p.address), "2"});
    config.parameterNames.push_back(std::move(name));
    config.parameterAddresses.push_back(p.address);
    config.groupBytes.push_back(p.group);
    config.parameters.push_back(p);
}

std::string DescribeRejection(const ConfigRejection& rejection) {
    switch (rejection.fault) {
        case ConfigFault::None:
            return "accepted";
        case ConfigFault::AnswerTooShort:
            return "answer of " + FormatInteger(static_cast<int64_t>(rejection.answerLength)) +
                   " bytes, at least " +
                   FormatInteger(static_cast<int64_t>(rejection.requiredLength)) + " expected";
        case ConfigFault::TooManyParameters:
            return FormatInteger(static_cast<int64_t>(rejection.parameterCount)) +
                   " parameters, at most 32 supported";
        case ConfigFault::RecordTruncated:
            return "record of " + FormatInteger(static_cast<int64_t>(rejection.answerLength)) +
                   " bytes ends before its layout (" +
                   FormatInteger(static_cast<int64_t>(rejection.requiredLength)) + " bytes)";
    }
    return "unknown";
}

size_t ConfigRecordLength(size_t parameterCount, size_t skipLength) {
    return kVariablePartOffset + 12 * parameterCount + 24 + 5 * parameterCount + skipLength +
           kTrailerLength;
}

ConfigDecodeResult DecodeTransducerConfig(std::span<const uint8_t> answer,
                                          size_t minimumAnswerLength) {
    const size_t length = answer.size();
    if (length < minimumAnswerLength) {
        return Reject(ConfigFault::AnswerTooShort, length, minimumAnswerLength);
    }
    if (length < kCountOffset + 2) {
        return Reject(ConfigFault::RecordTruncated, length, ConfigRecordLength(0, kShortSkip));
    }
    const size_t n = answer[kCountOffset] | static_cast<size_t>(answer[kCountOffset + 1]) << 8;
    if (n > TransducerConfig::kMaxParameters) {
        return Reject(ConfigFault::TooManyParameters, length, 0, n);
    }
    // The skip depends on how much follows the group bytes; the trailer must fit after it.
    const size_t groupsEnd = ConfigRecordLength(n, 0) - kTrailerLength;
    const size_t skip =
        length >= groupsEnd && length - groupsEnd >= kLongSkipThreshold ? kLongSkip : kShortSkip;
    const size_t required = ConfigRecordLength(n, skip);
    if (length < required) {
        return Reject(ConfigFault::RecordTruncated, length, required);
    }

    TransducerConfig c;
    RecordReader r(answer, 0);
    c.slaveAddress = r.Byte();
    c.functionCode = r.Byte();
    c.recordWord = r.Word();
    const auto block = answer.subspan(TransducerConfig::kBlockOffset, TransducerConfig::kBlockSize);
    std::copy(block.begin(), block.end(), c.recordBlock.begin());
    const auto model = answer.subspan(kModelOffset, kModelLength);
    c.modelName = Latin1ToUtf8(model.first(
        static_cast<size_t>(std::find(model.begin(), model.end(), uint8_t{0}) - model.begin())));
    c.timeSupport = answer[kTimeSupportOffset];

    r.Skip(kLinkAddressOffset - r.offset());
    c.linkAddress = r.Word();
    c.linkSettingsByte = r.Byte();
    c.ExchangeMode = ExchangeModeOf(r.Byte());
    c.iecAddressWidth = r.Byte();
    c.iecObjectAddressWidth = r.Byte();
    c.iecValueType = r.Byte();
    c.valueIsFloat = IsFloatValueType(c.iecValueType);
    c.valuesTimeTagged = IsTimeTaggedValueType(c.iecValueType);
    c.iecCauseWidth = r.Byte();
    c.keptBytes[0] = r.Byte();
    c.keptBytes[1] = r.Byte();

    c.parameters.resize(n);
    for (size_t i = 0; i < n; ++i) {
        c.parameterNames.push_back(Latin1ToUtf8(r.Take(4)));
    }
    for (size_t i = 0; i < n; ++i) {
        c.parameters[i].address = r.Long();
        c.parameterAddresses.push_back(c.parameters[i].address);
    }
    for (size_t i = 0; i < n; ++i) {
        const uint32_t high = r.Byte();
        const uint32_t middle = r.Byte();
        c.parameters[i].nominal = high << 16 | middle << 8 | r.Byte();
        c.parameters[i].divisorCode = r.Byte();
    }
    for (auto& word : c.keptWords) {
        word = r.Long();
    }
    for (size_t i = 0; i < n; ++i) {
        c.parameters[i].wordA = r.Word();
        c.parameters[i].wordB = r.Word();
    }
    for (size_t i = 0; i < n; ++i) {
        c.parameters[i].group = r.Byte();
        c.groupBytes.push_back(c.parameters[i].group);
    }
    r.Skip(skip);
    c.skipLength = static_cast<uint8_t>(skip);
    c.trailerWord1 = r.Word();
    c.trailerWord2 = r.Word();
    c.wordOrder = WordOrderFor(c.ExchangeMode, c.trailerWord2);

    for (size_t i = 0; i < n; ++i) {
        c.IecParameterList.push_back(
            {c.parameterNames[i], IecAddressText(c.parameterAddresses[i]), "2"});
    }
    ConfigDecodeResult result;
    result.config = std::move(c);
    return result;
}

std::array<uint8_t, TransducerConfig::kBlockSize> RecordBlockOf(const TransducerConfig& config) {
    auto block = config.recordBlock;
    const auto model = Utf8ToLatin1(config.modelName);
    const size_t modelBytes = std::min(model.size(), kModelLength);
    std::copy_n(model.begin(), modelBytes, block.begin());
    if (modelBytes < kModelLength) {
        // The zero that ends the text; the bytes after it stay as the block holds them.
        block[modelBytes] = 0;
    }
    const size_t n = std::min(config.parameters.size(), TransducerConfig::kMaxParameters);
    block[kCountOffset - kModelOffset] = static_cast<uint8_t>(n & 0xFF);
    block[kCountOffset - kModelOffset + 1] = static_cast<uint8_t>(n >> 8);
    block[kTimeSupportOffset - kModelOffset] = config.timeSupport;
    return block;
}

std::vector<uint8_t> EncodeTransducerConfig(const TransducerConfig& config) {
    const size_t n = std::min(config.parameters.size(), TransducerConfig::kMaxParameters);
    const size_t skip = config.skipLength == kShortSkip ? kShortSkip : kLongSkip;
    std::vector<uint8_t> out;
    out.reserve(ConfigRecordLength(n, skip));
    out.push_back(config.slaveAddress);
    out.push_back(config.functionCode);
    PutWord(out, config.recordWord);
    const auto block = RecordBlockOf(config);
    out.insert(out.end(), block.begin(), block.end());
    PutWord(out, config.linkAddress);
    out.push_back(config.linkSettingsByte);
    out.push_back(RecordByteOf(config.ExchangeMode));
    out.push_back(config.iecAddressWidth);
    out.push_back(config.iecObjectAddressWidth);
    out.push_back(config.iecValueType);
    out.push_back(config.iecCauseWidth);
    out.insert(out.end(), config.keptBytes.begin(), config.keptBytes.end());
    for (size_t i = 0; i < n; ++i) {
        std::vector<uint8_t> name;
        if (i < config.parameterNames.size()) {
            name = Utf8ToLatin1(config.parameterNames[i]);
        }
        name.resize(4, 0);
        out.insert(out.end(), name.begin(), name.end());
    }
    for (size_t i = 0; i < n; ++i) {
        PutLong(out, config.parameters[i].address);
    }
    for (size_t i = 0; i < n; ++i) {
        const uint32_t nominal = config.parameters[i].nominal;
        out.push_back(static_cast<uint8_t>(nominal >> 16 & 0xFF));
        out.push_back(static_cast<uint8_t>(nominal >> 8 & 0xFF));
        out.push_back(static_cast<uint8_t>(nominal & 0xFF));
        out.push_back(config.parameters[i].divisorCode);
    }
    for (uint32_t word : config.keptWords) {
        PutLong(out, word);
    }
    for (size_t i = 0; i < n; ++i) {
        PutWord(out, config.parameters[i].wordA);
        PutWord(out, config.parameters[i].wordB);
    }
    for (size_t i = 0; i < n; ++i) {
        out.push_back(config.parameters[i].group);
    }
    out.insert(out.end(), skip, uint8_t{0});
    PutWord(out, config.trailerWord1);
    uint16_t trailer2 = config.trailerWord2;
    if (!PreparesIec101(config.ExchangeMode)) {
        if (config.wordOrder == 1) {
            trailer2 = static_cast<uint16_t>(trailer2 | 0x0004);
        } else if (config.wordOrder == 2) {
            trailer2 = static_cast<uint16_t>(trailer2 & ~0x0004);
        }
    }
    PutWord(out, trailer2);
    return out;
}
