// SPDX-License-Identifier: MIT
#include <algorithm>

#include "iec101/iec101_master.h"

namespace {

enum class TimeTag { kNone, kCp24, kCp56, kSkipped };

// How a measured-value type lays out its information objects.
struct ObjectLayout {
    uint8_t elementBytes = 0;  // value, quality, own time tag
    uint8_t valueBytes = 0;    // 2 or 4
    TimeTag timeTag = TimeTag::kNone;
    uint8_t timeOffset = 0;  // offset of the own time tag in the element
    uint8_t step = 0;        // IOA step in a sequence; 0: never a sequence
    bool block = false;      // always a sequence, one common CP56Time2a after the last object
};

bool LayoutOf(uint8_t type, ObjectLayout& layout) {
    switch (type) {
        case 9:
            layout = {3, 2, TimeTag::kNone, 0, 1, false};
            return true;
        case 10:
            layout = {6, 2, TimeTag::kCp24, 3, 0, false};
            return true;
        case 13:
            layout = {5, 4, TimeTag::kNone, 0, 2, false};
            return true;
        case 14:
            layout = {8, 4, TimeTag::kCp24, 5, 0, false};
            return true;
        case 21:
            layout = {2, 2, TimeTag::kNone, 0, 1, false};
            return true;
        case 34:
            layout = {10, 2, TimeTag::kCp56, 3, 0, false};
            return true;
        case 35:
            layout = {10, 2, TimeTag::kSkipped, 3, 0, false};
            return true;
        case 36:
            layout = {12, 4, TimeTag::kCp56, 5, 0, false};
            return true;
        case 143:
            layout = {3, 2, TimeTag::kNone, 0, 1, true};
            return true;
        case 145:
            layout = {5, 4, TimeTag::kNone, 0, 2, true};
            return true;
        default:
            return false;
    }
}

uint32_t ReadIoa(std::span<const uint8_t> bytes, size_t at, uint8_t width) {
    uint32_t ioa = 0;
    for (uint8_t i = 0; i < width; ++i) {
        ioa |= uint32_t{bytes[at + i]} << (8 * i);
    }
    return ioa;
}

uint16_t Le16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

void CopyCp24(std::span<const uint8_t> bytes, size_t at, AsduTime& time) {
    time.milliseconds = Le16(bytes, at);
    time.hourMinute = bytes[at + 2];
}

void CopyCp56(std::span<const uint8_t> bytes, size_t at, AsduTime& time) {
    time.milliseconds = Le16(bytes, at);
    time.hourMinute = static_cast<uint16_t>(bytes[at + 3] << 8 | bytes[at + 2]);
    time.monthDay = static_cast<uint16_t>(bytes[at + 5] << 8 | bytes[at + 4]);
    time.year = bytes[at + 6];
}

}  // namespace

uint16_t Iec101Master::FindParameterIndex(uint32_t ioa) const {
    const size_t limit = std::min<size_t>(parameters_.size(), kNoParameter);
    for (size_t i = 0; i < limit; ++i) {
        if (parameters_[i].address == ioa) {
            return static_cast<uint16_t>(i);
        }
    }
    return kNoParameter;
}

void Iec101Master::RestartExpectedSet() {
    const bool anyExpected =
        std::find(expectedMask_.begin(), expectedMask_.end(), uint8_t{0xFF}) != expectedMask_.end();
    for (size_t n = 0; n < receivedFlags_.size(); ++n) {
        const bool expected = n < expectedMask_.size() && expectedMask_[n] == 0xFF;
        receivedFlags_[n] = !anyExpected || expected ? uint8_t{0} : uint8_t{0xFF};
    }
}

void Iec101Master::CheckSetComplete() {
    if (std::all_of(receivedFlags_.begin(), receivedFlags_.end(),
                    [](uint8_t f) { return f != 0; })) {
        results_.setComplete = true;
        RestartExpectedSet();
    }
}

size_t Iec101Master::ParseAsdu(std::span<const uint8_t> asdu) {
    // The header: type, qualifier, cause (the classification guarantees these three bytes).
    if (asdu.size() < 3) {
        return 0;
    }
    const uint8_t type = asdu[0];
    results_.lastType = type;
    if (type < 100 || type == 143 || type == 145) {
        results_.valueType = type;
    }
    const size_t count = asdu[1] & 0x7F;
    const bool sequence = (asdu[1] & 0x80) != 0;
    results_.lastCause = asdu[2];
    ++results_.asduCount;

    size_t decoded = 0;
    ObjectLayout layout;
    if (LayoutOf(type, layout)) {
        const uint8_t ioaBytes = IoaBytes(widths_.ioa);
        const bool stepped = layout.block || (sequence && layout.step != 0);
        size_t pos = 2 + CauseBytes(widths_.cause) + AddressBytes(widths_.address);
        bool haveIoa = pos + ioaBytes <= asdu.size();
        uint32_t ioa = haveIoa ? ReadIoa(asdu, pos, ioaBytes) : 0;
        pos += ioaBytes;
        bool timeTaken = false;
        bool lastSlotInside = false;
        while (haveIoa && decoded < count && pos + layout.elementBytes <= asdu.size()) {
            const size_t e = pos;
            const uint16_t n = FindParameterIndex(ioa);
            const size_t slot = size_t{n} * layout.valueBytes;
            lastSlotInside = n != kNoParameter && slot + layout.valueBytes <= valueTable_.size();
            if (lastSlotInside) {
                // High byte first: the message's byte order reversed.
                for (uint8_t i = 0; i < layout.valueBytes; ++i) {
                    valueTable_[slot + i] = asdu[e + layout.valueBytes - 1 - i];
                }
                if (!timeTaken && layout.timeTag != TimeTag::kNone) {
                    if (layout.timeTag == TimeTag::kCp24) {
                        CopyCp24(asdu, e + layout.timeOffset, results_.asduTime);
                        timeTaken = true;
                    } else if (layout.timeTag == TimeTag::kCp56) {
                        CopyCp56(asdu, e + layout.timeOffset, results_.asduTime);
                        timeTaken = true;
                    }
                }
            }
            pos += layout.elementBytes;
            if (n < receivedFlags_.size()) {
                receivedFlags_[n] = 0xFF;
            }
            ++decoded;
            if (decoded == count) {
                break;
            }
            if (stepped) {
                ioa += layout.step;
            } else {
                haveIoa = pos + ioaBytes <= asdu.size();
                if (haveIoa) {
                    ioa = ReadIoa(asdu, pos, ioaBytes);
                }
                pos += ioaBytes;
            }
        }
        // A block carries one time tag after its last object; it counts when the block
        // completes the set, and only when the whole block arrived.
        if (layout.block && decoded == count && count > 0 &&
            std::all_of(receivedFlags_.begin(), receivedFlags_.end(),
                        [](uint8_t f) { return f != 0; })) {
            if (lastSlotInside && pos + 7 <= asdu.size()) {
                CopyCp56(asdu, pos, results_.asduTime);
            }
            results_.setComplete = true;
            RestartExpectedSet();
        }
    }
    CheckSetComplete();
    return decoded;
}
