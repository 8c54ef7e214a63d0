// SPDX-License-Identifier: MIT
#include "channel/traffic_recorder.h"

#include <algorithm>
#include <cstring>

#include "platform/calendar.h"

namespace {

// Frames are appended to blocks of about this size; the oldest block is dropped as a whole.
constexpr size_t kBlockBytes = 64 * 1024;

// A frame's header, as stored in front of its bytes.
struct StoredHeader {
    uint64_t timeUs;
    uint32_t size;
    uint16_t context;
    uint8_t what;  // direction (bit 7), phase (bits 4 to 6), kind (bits 0 to 3)
    uint8_t result;
};
static_assert(sizeof(StoredHeader) == 16);

uint8_t PackWhat(TrafficDirection direction, TrafficPhase phase, FrameKind kind) {
    return static_cast<uint8_t>(static_cast<unsigned>(direction) << 7 |
                                static_cast<unsigned>(phase) << 4 | static_cast<unsigned>(kind));
}

StoredHeader ReadHeader(const std::vector<uint8_t>& bytes, uint32_t offset) {
    StoredHeader header{};
    std::memcpy(&header, bytes.data() + offset, sizeof header);
    return header;
}

void WriteHeader(std::vector<uint8_t>& bytes, uint32_t offset, const StoredHeader& header) {
    std::memcpy(bytes.data() + offset, &header, sizeof header);
}

// Modbus answer codes: 0 valid, 1 and 2 ASCII framing, 3 checksum, 4 nothing or too short,
// 100 + e the exception e.
void CountModbusResult(TrafficStatistics& s, uint8_t result) {
    if (result == 0) {
        ++s.goodAnswers;
    } else if (result == 1 || result == 2) {
        ++s.shortOrGarbled;
    } else if (result == 3) {
        ++s.checksumErrors;
    } else if (result == 4) {
        ++s.noAnswer;
    } else if (result >= 100) {
        ++s.modbusExceptions[static_cast<uint8_t>(result - 100)];
    }
}

// IEC-101 receive codes: 0 ok, 1 bad start, 2 bad end, 3 checksum, 4 nothing, 5 no data,
// 6 rejected, 7 short, E5 the single acknowledgement, FF unexpected.
void CountIecResult(TrafficStatistics& s, uint8_t result) {
    ++s.iecReceiveCodes[result];
    switch (result) {
        case 0:
        case 5:
        case 0xE5:
            ++s.goodAnswers;
            break;
        case 1:
        case 2:
        case 7:
            ++s.shortOrGarbled;
            break;
        case 3:
            ++s.checksumErrors;
            break;
        case 4:
            ++s.noAnswer;
            break;
        default:
            break;  // refused or unexpected: an answer, but not a good one
    }
}

}  // namespace

double TrafficStatistics::PollsPerSecond() const {
    if (pollRequests < 2 || lastPollUs <= firstPollUs) {
        return 0;
    }
    return static_cast<double>(pollRequests - 1) * 1e6 /
           static_cast<double>(lastPollUs - firstPollUs);
}

double TrafficStatistics::TargetPollsPerSecond() const {
    return pollPeriodMs == 0 ? 0 : 1000.0 / pollPeriodMs;
}

TrafficRecorder::TrafficRecorder(Clock& clock) : clock_(clock) {
    const uint64_t nowUs = clock_.MonotonicMicroseconds();
    unixMsAtZero_ = UnixMsFromCalendar(clock_.UtcTime()) - static_cast<int64_t>(nowUs / 1000);
    localMsAtZero_ = UnixMsFromCalendar(clock_.LocalTime()) - static_cast<int64_t>(nowUs / 1000);
    contexts_.push_back(current_);
}

uint16_t TrafficRecorder::ContextIndex() {
    if (contexts_.back() == current_) {
        return static_cast<uint16_t>(contexts_.size() - 1);
    }
    const auto found = std::find(contexts_.begin(), contexts_.end(), current_);
    if (found != contexts_.end()) {
        return static_cast<uint16_t>(found - contexts_.begin());
    }
    // Settings seldom change and repeat; a session that somehow makes thousands reuses the last.
    if (contexts_.size() < 0xFFFF) {
        contexts_.push_back(current_);
    } else {
        contexts_.back() = current_;
    }
    return static_cast<uint16_t>(contexts_.size() - 1);
}

void TrafficRecorder::BeginFrame(TrafficDirection direction, uint64_t timeUs) {
    if (blocks_.empty() || blocks_.back().bytes.size() + sizeof(StoredHeader) > kBlockBytes) {
        DropOldest(kBlockBytes);
        Block block;
        block.firstSequence = EndSequence();
        block.bytes.reserve(kBlockBytes);
        blocks_.push_back(std::move(block));
        storedBytes_ += kBlockBytes;
    }
    Block& block = blocks_.back();
    const StoredHeader header{timeUs, 0, ContextIndex(), PackWhat(direction, phase_, kind_),
                              kNoFrameResult};
    const auto offset = static_cast<uint32_t>(block.bytes.size());
    const size_t indexCapacity = block.offsets.capacity();
    block.offsets.push_back(offset);
    storedBytes_ += (block.offsets.capacity() - indexCapacity) * sizeof(uint32_t);
    block.bytes.resize(offset + sizeof header);
    WriteHeader(block.bytes, offset, header);
    ++storedFrames_;
}

void TrafficRecorder::MoveOpenFrameToNewBlock(size_t room) {
    Block& full = blocks_.back();
    const uint32_t offset = full.offsets.back();
    Block fresh;
    fresh.firstSequence = EndSequence() - 1;
    fresh.bytes.reserve(std::max(kBlockBytes, full.bytes.size() - offset + room));
    fresh.bytes.assign(full.bytes.begin() + offset, full.bytes.end());
    fresh.offsets.push_back(0);
    full.bytes.resize(offset);
    full.offsets.pop_back();
    storedBytes_ += fresh.bytes.capacity() + fresh.offsets.capacity() * sizeof(uint32_t);
    blocks_.push_back(std::move(fresh));
}

void TrafficRecorder::AppendToOpenFrame(std::span<const uint8_t> bytes) {
    if (blocks_.back().bytes.size() + bytes.size() > blocks_.back().bytes.capacity() &&
        blocks_.back().offsets.size() > 1) {
        // The frame outgrows its block: it moves to a block of its own, so that the full one
        // keeps the size it was given instead of doubling.
        MoveOpenFrameToNewBlock(bytes.size());
    }
    Block& block = blocks_.back();
    const uint32_t offset = block.offsets.back();
    StoredHeader header = ReadHeader(block.bytes, offset);
    const size_t capacity = block.bytes.capacity();
    block.bytes.insert(block.bytes.end(), bytes.begin(), bytes.end());
    // A long frame may grow its block beyond the usual size; the budget counts what it takes.
    storedBytes_ += block.bytes.capacity() - capacity;
    header.size += static_cast<uint32_t>(bytes.size());
    WriteHeader(block.bytes, offset, header);
}

size_t TrafficRecorder::FrameSizeOfOpen() const {
    const Block& block = blocks_.back();
    return ReadHeader(block.bytes, block.offsets.back()).size;
}

void TrafficRecorder::CloseFrame(uint8_t result) {
    if (!openFrame_) {
        return;
    }
    Block& block = blocks_.back();
    StoredHeader header = ReadHeader(block.bytes, block.offsets.back());
    header.result = result;
    WriteHeader(block.bytes, block.offsets.back(), header);
    openFrame_ = false;
    DropOldest();
}

void TrafficRecorder::DropOldest(size_t incoming) {
    // The block of a frame still being collected stays.
    while (!blocks_.empty() && storedBytes_ + incoming > kStoreBudget &&
           (blocks_.size() > 1 || !openFrame_)) {
        const Block& oldest = blocks_.front();
        const size_t count = oldest.offsets.size();
        storedBytes_ -= oldest.bytes.capacity() + oldest.offsets.capacity() * sizeof(uint32_t);
        firstSequence_ += count;
        storedFrames_ -= count;
        statistics_.droppedFrames += count;
        blocks_.pop_front();
    }
}

void TrafficRecorder::RecordWrite(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    CloseFrame(kNoFrameResult);
    const uint64_t nowUs = clock_.MonotonicMicroseconds();
    BeginFrame(TrafficDirection::kSent, nowUs);
    AppendToOpenFrame(bytes);
    DropOldest();

    if (kind_ == FrameKind::kModbusRtu || kind_ == FrameKind::kModbusAscii ||
        kind_ == FrameKind::kFt12) {
        ++statistics_.requests;
        awaiting_ = true;
        answerSeen_ = false;
        requestUs_ = nowUs;
        if (phase_ == TrafficPhase::kPolling) {
            if (statistics_.pollRequests == 0) {
                statistics_.firstPollUs = nowUs;
            }
            ++statistics_.pollRequests;
            statistics_.lastPollUs = nowUs;
        }
    }
}

void TrafficRecorder::RecordRead(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    const uint64_t nowUs = clock_.MonotonicMicroseconds();
    if (awaiting_ && !answerSeen_) {
        answerSeen_ = true;
        const uint64_t responseUs = nowUs - requestUs_;
        TrafficStatistics& s = statistics_;
        s.responseMinUs = s.responses == 0 ? responseUs : std::min(s.responseMinUs, responseUs);
        s.responseMaxUs = std::max(s.responseMaxUs, responseUs);
        s.responseTotalUs += responseUs;
        ++s.responses;
    }
    if (openFrame_ && FrameSizeOfOpen() >= kBlockBytes) {
        // A line that never falls silent is cut into frames a block long, so that the store's
        // bound holds for it too.
        CloseFrame(kNoFrameResult);
    }
    if (!openFrame_) {
        BeginFrame(TrafficDirection::kReceived, nowUs);
        openFrame_ = true;
    }
    AppendToOpenFrame(bytes);
    DropOldest();
}

void TrafficRecorder::EndAnswer(uint8_t result) {
    if (awaiting_) {
        awaiting_ = false;
        ++statistics_.answersChecked;
        CountResult(result);
    }
    CloseFrame(result);
}

void TrafficRecorder::CountResult(uint8_t result) {
    if (kind_ == FrameKind::kFt12) {
        CountIecResult(statistics_, result);
    } else if (kind_ == FrameKind::kModbusRtu || kind_ == FrameKind::kModbusAscii) {
        CountModbusResult(statistics_, result);
    }
}

void TrafficRecorder::SetKind(FrameKind kind) {
    if (kind != kind_) {
        CloseFrame(kNoFrameResult);
        kind_ = kind;
    }
}

void TrafficRecorder::SetPhase(TrafficPhase phase) {
    phase_ = phase;
}

void TrafficRecorder::SetLine(const LineSettings& line) {
    if (!(line == current_.line)) {
        CloseFrame(kNoFrameResult);
        current_.line = line;
    }
}

void TrafficRecorder::SetWidths(const FrameWidths& widths) {
    current_.widths = widths;
}

TrafficFrame TrafficRecorder::Frame(uint64_t sequence) const {
    TrafficFrame frame;
    if (sequence < FirstSequence() || sequence >= EndSequence()) {
        return frame;
    }
    // The block holding it: the last whose first sequence is not beyond it.
    const auto after =
        std::upper_bound(blocks_.begin(), blocks_.end(), sequence,
                         [](uint64_t s, const Block& block) { return s < block.firstSequence; });
    const Block& block = *std::prev(after);
    const uint32_t offset = block.offsets[sequence - block.firstSequence];
    const StoredHeader header = ReadHeader(block.bytes, offset);
    frame.sequence = sequence;
    frame.timeUs = header.timeUs;
    frame.direction = static_cast<TrafficDirection>(header.what >> 7);
    frame.kind = static_cast<FrameKind>(header.what & 0x0F);
    frame.phase = static_cast<TrafficPhase>(header.what >> 4 & 0x07);
    frame.result = header.result;
    frame.context = contexts_[header.context];
    frame.bytes =
        std::span<const uint8_t>(block.bytes.data() + offset + sizeof header, header.size);
    return frame;
}

void TrafficRecorder::Clear() {
    blocks_.clear();
    firstSequence_ += storedFrames_;
    storedFrames_ = 0;
    storedBytes_ = 0;
    openFrame_ = false;
    awaiting_ = false;
    answerSeen_ = false;
    const uint32_t period = statistics_.pollPeriodMs;
    statistics_ = TrafficStatistics{};
    statistics_.pollPeriodMs = period;
}
