// SPDX-License-Identifier: MIT
#include "sim/iec101_station.h"

#include <algorithm>
#include <bit>

#include "platform/calendar.h"

namespace {

constexpr uint8_t kFixedStart = 0x10;
constexpr uint8_t kVariableStart = 0x68;
constexpr uint8_t kEnd = 0x16;
constexpr uint8_t kE5 = 0xE5;
constexpr uint8_t kNegative = 0x40;  // P/N bit of the cause of transmission
constexpr uint8_t kTest = 0x80;      // T bit of the cause of transmission
// Silence after which a partly received frame is given up.
constexpr uint64_t kFrameGapUs = 20'000;

uint8_t Sum(std::span<const uint8_t> bytes) {
    uint8_t s = 0;
    for (uint8_t b : bytes) {
        s = static_cast<uint8_t>(s + b);
    }
    return s;
}

// Bytes of one information element (value, quality, own time tag) of a measured-value type.
size_t ElementBytes(uint8_t type) {
    switch (type) {
        case 9:
            return 3;
        case 10:
            return 6;
        case 13:
            return 5;
        case 14:
            return 8;
        case 21:
            return 2;
        case 34:
        case 35:
            return 10;
        case 36:
            return 12;
        case 143:
            return 3;
        case 145:
            return 5;
        default:
            return 0;
    }
}

bool IsFloatType(uint8_t type) {
    return type == 13 || type == 14 || type == 36 || type == 145;
}
bool IsBlockType(uint8_t type) {
    return type == 143 || type == 145;
}
bool CanBeSequence(uint8_t type) {
    return type == 9 || type == 13 || type == 21;
}

bool SameFraming(const LineSettings& a, const LineSettings& b) {
    return a.baudRate == b.baudRate && a.dataBits == b.dataBits && a.parity == b.parity;
}

}  // namespace

Iec101Station::Iec101Station(Iec101StationConfig config, Clock& clock)
    : config_(std::move(config)), clock_(clock) {
    if (ElementBytes(config_.valueType) == 0) {
        config_.valueType = 13;
    }
}

size_t Iec101Station::IoaBytes() const {
    return config_.ioaWidth < 1 ? 1 : config_.ioaWidth > 3 ? 3 : config_.ioaWidth;
}

int64_t Iec101Station::NowUnixMs() const {
    return UnixMsFromCalendar(clock_.UtcTime()) - int64_t{lagMs_};
}

SystemTime Iec101Station::ClockTime() {
    return CalendarFromUnixMs(NowUnixMs() + config_.clockOffsetMs);
}

uint8_t Iec101Station::AnswerControl(uint8_t function) const {
    return static_cast<uint8_t>(function | (faults.acdInAnswers ? 0x20 : 0x00));
}

std::vector<uint8_t> Iec101Station::FixedFrame(uint8_t control) const {
    std::vector<uint8_t> f{kFixedStart, control, static_cast<uint8_t>(config_.linkAddress & 0xFF)};
    if (AddressBytes() == 2) {
        f.push_back(static_cast<uint8_t>(config_.linkAddress >> 8));
    }
    f.push_back(Sum(std::span(f).subspan(1)));
    f.push_back(kEnd);
    return f;
}

std::vector<uint8_t> Iec101Station::VariableFrame(uint8_t control,
                                                  const std::vector<uint8_t>& asdu) const {
    std::vector<uint8_t> f{
        kVariableStart, 0,       0,
        kVariableStart, control, static_cast<uint8_t>(config_.linkAddress & 0xFF)};
    if (AddressBytes() == 2) {
        f.push_back(static_cast<uint8_t>(config_.linkAddress >> 8));
    }
    f.insert(f.end(), asdu.begin(), asdu.end());
    f.push_back(Sum(std::span(f).subspan(4)));
    f.push_back(kEnd);
    f[1] = f[2] = static_cast<uint8_t>(f.size() - 6);
    return f;
}

std::vector<uint8_t> Iec101Station::AsduHeader(uint8_t type, uint8_t vsq, uint8_t cause) const {
    std::vector<uint8_t> a{type, vsq, cause};
    if (CauseBytes() == 2) {
        a.push_back(originator_);
    }
    a.push_back(static_cast<uint8_t>(config_.linkAddress & 0xFF));
    if (AddressBytes() == 2) {
        a.push_back(static_cast<uint8_t>(config_.linkAddress >> 8));
    }
    return a;
}

void Iec101Station::AppendIoa(std::vector<uint8_t>& out, uint32_t ioa) const {
    for (size_t i = 0; i < IoaBytes(); ++i) {
        out.push_back(static_cast<uint8_t>((ioa >> (8 * i)) & 0xFF));
    }
}

void Iec101Station::AppendCp56(std::vector<uint8_t>& out) const {
    const SystemTime t = CalendarFromUnixMs(NowUnixMs() + config_.clockOffsetMs);
    const auto ms = static_cast<uint16_t>(t.second * 1000 + t.milliseconds);
    const int weekday = t.dayOfWeek == 0 ? 7 : t.dayOfWeek;
    out.push_back(static_cast<uint8_t>(ms & 0xFF));
    out.push_back(static_cast<uint8_t>(ms >> 8));
    out.push_back(static_cast<uint8_t>(t.minute));
    out.push_back(static_cast<uint8_t>(t.hour));
    out.push_back(static_cast<uint8_t>(t.day | (weekday << 5)));
    out.push_back(static_cast<uint8_t>(t.month));
    out.push_back(static_cast<uint8_t>((t.year - 2000) % 100));
}

void Iec101Station::AppendElement(std::vector<uint8_t>& out,
                                  const Iec101StationObject& object) const {
    const uint8_t type = config_.valueType;
    if (IsFloatType(type)) {
        const auto bits = std::bit_cast<uint32_t>(object.value);
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>((bits >> (8 * i)) & 0xFF));
        }
    } else {
        out.push_back(static_cast<uint8_t>(object.code & 0xFF));
        out.push_back(static_cast<uint8_t>(object.code >> 8));
    }
    if (type != 21) {
        out.push_back(0x00);  // quality descriptor: good
    }
    if (type == 10 || type == 14) {
        std::vector<uint8_t> tag;
        AppendCp56(tag);
        out.insert(out.end(), tag.begin(), tag.begin() + 3);  // CP24Time2a
    } else if (type == 34 || type == 35 || type == 36) {
        AppendCp56(out);
    }
}

std::vector<uint8_t> Iec101Station::Consume(std::span<const uint8_t> bytes, uint32_t lagMs) {
    if (faults.silent) {
        rx_.clear();
        return {};
    }
    lagMs_ = lagMs;
    rx_.insert(rx_.end(), bytes.begin(), bytes.end());
    std::vector<uint8_t> out;
    size_t pos = 0;
    while (pos < rx_.size()) {
        size_t length = 0;
        if (rx_[pos] == kFixedStart) {
            length = 4 + AddressBytes();
        } else if (rx_[pos] == kVariableStart) {
            if (rx_.size() - pos < 4) {
                break;
            }
            if (rx_[pos + 3] != kVariableStart || rx_[pos + 1] != rx_[pos + 2]) {
                ++counters.ignoredFrames;
                ++pos;
                continue;
            }
            length = size_t{rx_[pos + 1]} + 6;
        } else {
            ++pos;  // noise between frames
            continue;
        }
        if (rx_.size() - pos < length) {
            break;
        }
        const std::span<const uint8_t> frame(rx_.data() + pos, length);
        const size_t p = frame[0] == kFixedStart ? 1 : 4;
        if (frame[length - 1] != kEnd ||
            frame[length - 2] != Sum(frame.subspan(p, length - 2 - p)) ||
            length < p + 3 + AddressBytes()) {
            ++counters.ignoredFrames;
            ++pos;
            continue;
        }
        const std::vector<uint8_t> answer = HandleFrame(frame);
        out.insert(out.end(), answer.begin(), answer.end());
        pos += length;
    }
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(pos));
    lagMs_ = 0;
    return out;
}

void Iec101Station::Restart() {
    rx_.clear();
    queue_.clear();
    lastAnswer_.clear();
    fcbState_ = FcbState::kUnknown;
}

bool Iec101Station::AcceptFcb(bool fcb) {
    const FcbState expected = fcbState_;
    const bool matches = expected == FcbState::kUnknown ||
                         (expected == FcbState::kExpectOne) == fcb || lastAnswer_.empty();
    if (!matches) {
        return false;
    }
    fcbState_ = fcb ? FcbState::kExpectZero : FcbState::kExpectOne;
    return true;
}

std::vector<uint8_t> Iec101Station::HandleFrame(std::span<const uint8_t> frame) {
    const bool fixed = frame[0] == kFixedStart;
    const size_t p = fixed ? 1 : 4;
    const uint8_t control = frame[p];
    uint32_t address = frame[p + 1];
    if (AddressBytes() == 2) {
        address |= uint32_t{frame[p + 2]} << 8;
    }
    if (address != config_.linkAddress || (control & 0x40) == 0) {
        ++counters.ignoredFrames;  // another station's, a broadcast, or not from a primary
        return {};
    }
    const uint8_t function = control & 0x0F;
    const bool fcv = (control & 0x10) != 0;
    const bool fcb = (control & 0x20) != 0;
    const std::vector<uint8_t> ack =
        faults.acknowledgeWithE5 ? std::vector<uint8_t>{kE5} : FixedFrame(AnswerControl(0));

    if (fcv && (function == 3 || function == 10 || function == 11) && !AcceptFcb(fcb)) {
        ++counters.repetitions;
        return lastAnswer_;
    }
    std::vector<uint8_t> answer;
    if (fixed) {
        switch (function) {
            case 9:
                ++counters.statusRequests;
                return faults.statusWithE5 ? std::vector<uint8_t>{kE5}
                                           : FixedFrame(AnswerControl(11));
            case 0:
                ++counters.resets;
                fcbState_ = FcbState::kExpectOne;
                lastAnswer_.clear();
                return ack;
            case 10:  // class 1: this station keeps everything in class 2
                answer =
                    faults.noDataAsE5 ? std::vector<uint8_t>{kE5} : FixedFrame(AnswerControl(9));
                break;
            case 11:
                ++counters.class2Requests;
                answer = Class2Answer();
                break;
            default:
                return FixedFrame(AnswerControl(15));  // link service not implemented
        }
    } else {
        const size_t asduBegin = p + 1 + AddressBytes();
        const auto asdu = frame.subspan(asduBegin, frame.size() - 2 - asduBegin);
        switch (function) {
            case 3:
                ProcessCommand(asdu);
                answer = ack;
                break;
            case 4:
                ProcessCommand(asdu);
                return {};
            case 11:  // a request for data that names what it wants (the read command)
                ++counters.class2Requests;
                ProcessCommand(asdu);
                answer = Class2Answer();
                break;
            default:
                return FixedFrame(AnswerControl(15));
        }
    }
    if (fcv) {
        lastAnswer_ = answer;
    }
    return answer;
}

void Iec101Station::QueueMirror(std::span<const uint8_t> asdu, uint8_t cause) {
    Pending pending;
    pending.asdu.assign(asdu.begin(), asdu.end());
    pending.asdu[2] = static_cast<uint8_t>((asdu[2] & kTest) | cause);
    if (CauseBytes() == 2 && pending.asdu.size() > 3) {
        pending.asdu[3] = originator_;
    }
    pending.interrogation = asdu[0] == 100;
    queue_.push_back(std::move(pending));
}

void Iec101Station::QueueValues(const std::vector<size_t>& selected, uint8_t cause,
                                bool interrogation) {
    const uint8_t type = config_.valueType;
    const bool block = IsBlockType(type);
    const bool sequence = block || (config_.useSequences && CanBeSequence(type));
    const uint32_t step = IsFloatType(type) ? 2 : 1;
    const size_t header = 2 + CauseBytes() + AddressBytes();
    const size_t room = 254 - AddressBytes();  // frame length byte at most 255
    const size_t element = ElementBytes(type);
    const size_t overhead = sequence ? header + IoaBytes() + (block ? 7 : 0) : header;
    const size_t per = sequence ? element : IoaBytes() + element;
    size_t most = std::min<size_t>(127, (room - overhead) / per);
    if (config_.maxObjectsPerAsdu > 0) {
        most = std::min(most, config_.maxObjectsPerAsdu);
    }
    Pending current;
    current.kind = PendingKind::kValues;
    current.cause = cause;
    current.sequence = sequence;
    current.interrogation = interrogation;
    for (size_t index : selected) {
        if (!current.objects.empty()) {
            const auto& last = config_.objects[current.objects.back()];
            const bool breaksRun = sequence && config_.objects[index].ioa != last.ioa + step;
            if (current.objects.size() >= most || breaksRun) {
                queue_.push_back(current);
                current.objects.clear();
            }
        }
        current.objects.push_back(index);
    }
    if (!current.objects.empty()) {
        queue_.push_back(current);
    }
}

void Iec101Station::ProcessCommand(std::span<const uint8_t> asdu) {
    const size_t header = 2 + CauseBytes() + AddressBytes();
    if (asdu.size() < header) {
        ++counters.ignoredFrames;
        return;
    }
    const uint8_t type = asdu[0];
    const uint8_t cause = asdu[2] & 0x3F;
    if (CauseBytes() == 2) {
        originator_ = asdu[3];
    }
    const size_t caAt = 2 + CauseBytes();
    uint32_t commonAddress = asdu[caAt];
    uint32_t broadcast = 0xFF;
    if (AddressBytes() == 2) {
        commonAddress |= uint32_t{asdu[caAt + 1]} << 8;
        broadcast = 0xFFFF;
    }
    if (commonAddress != config_.linkAddress && commonAddress != broadcast) {
        QueueMirror(asdu, 46);
        return;
    }
    const bool awaitsAnswer = !(type == 106 && cause == 3);  // the delay transfer gets none
    if (faults.commandCause >= 44 && faults.commandCause <= 47 && awaitsAnswer) {
        QueueMirror(asdu, faults.commandCause);
        return;
    }
    const bool haveIoa = asdu.size() >= header + IoaBytes();
    uint32_t ioa = 0;
    for (size_t i = 0; haveIoa && i < IoaBytes(); ++i) {
        ioa |= uint32_t{asdu[header + i]} << (8 * i);
    }
    const size_t elementAt = header + IoaBytes();
    const size_t elementBytes = asdu.size() > elementAt ? asdu.size() - elementAt : 0;
    const uint8_t negativeConfirmation = 7 | kNegative;

    switch (type) {
        case 100: {
            ++counters.interrogations;
            const auto dropRunning = [this] {
                std::erase_if(queue_, [](const Pending& pending) { return pending.interrogation; });
            };
            if (cause == 8) {
                dropRunning();
                QueueMirror(asdu, faults.negativeConfirmation ? 9 | kNegative : 9);
                return;
            }
            if (cause != 6) {
                QueueMirror(asdu, 45);
                return;
            }
            const uint8_t qoi = elementBytes >= 1 ? asdu[elementAt] : 0;
            if (qoi < 20 || qoi > 36 || faults.negativeConfirmation) {
                QueueMirror(asdu, negativeConfirmation);
                return;
            }
            dropRunning();  // a new interrogation replaces one still running
            QueueMirror(asdu, 7);
            std::vector<size_t> selected;
            const uint8_t group = static_cast<uint8_t>(qoi - 20);
            for (size_t i = 0; i < config_.objects.size(); ++i) {
                const uint8_t g = config_.objects[i].group;
                if (group == 0 || g == group || (g == 0 && config_.stationObjectsInGroups)) {
                    selected.push_back(i);
                }
            }
            QueueValues(selected, qoi, true);
            if (!faults.noTermination) {
                QueueMirror(asdu, 10);
            }
            return;
        }
        case 102: {
            ++counters.reads;
            if (cause != 5) {
                QueueMirror(asdu, 45);
                return;
            }
            const auto found =
                std::find_if(config_.objects.begin(), config_.objects.end(),
                             [ioa](const Iec101StationObject& o) { return o.ioa == ioa; });
            if (!haveIoa || found == config_.objects.end()) {
                QueueMirror(asdu, 47);
                return;
            }
            QueueValues({static_cast<size_t>(found - config_.objects.begin())}, 5, false);
            return;
        }
        case 103: {
            ++counters.clockSyncs;
            if (cause != 6) {
                QueueMirror(asdu, 45);
                return;
            }
            if (elementBytes < 7 || faults.negativeConfirmation) {
                QueueMirror(asdu, negativeConfirmation);
                return;
            }
            const uint8_t* t = asdu.data() + elementAt;
            SystemTime set;
            const auto ms = static_cast<uint16_t>(t[0] | (t[1] << 8));
            set.second = static_cast<uint16_t>(ms / 1000);
            set.milliseconds = static_cast<uint16_t>(ms % 1000);
            set.minute = t[2] & 0x3F;
            set.hour = t[3] & 0x1F;
            set.day = t[4] & 0x1F;
            set.month = t[5] & 0x0F;
            set.year = static_cast<uint16_t>(2000 + (t[6] & 0x7F));
            config_.clockOffsetMs = UnixMsFromCalendar(set) - NowUnixMs();
            QueueMirror(asdu, 7);
            return;
        }
        case 106: {
            ++counters.delayAcquisitions;
            if (elementBytes < 2) {
                QueueMirror(asdu, negativeConfirmation);
                return;
            }
            const auto value = static_cast<uint16_t>(asdu[elementAt] | (asdu[elementAt + 1] << 8));
            if (cause == 3) {
                transferDelayMs_ = value;
                return;
            }
            if (cause != 6) {
                QueueMirror(asdu, 45);
                return;
            }
            if (faults.negativeConfirmation) {
                QueueMirror(asdu, negativeConfirmation);
                return;
            }
            Pending pending;
            pending.kind = PendingKind::kDelayConfirmation;
            pending.asdu.assign(asdu.begin(),
                                asdu.begin() + static_cast<std::ptrdiff_t>(elementAt));
            pending.sendTime = value;
            pending.receivedMs = NowUnixMs();
            queue_.push_back(std::move(pending));
            return;
        }
        default:
            QueueMirror(asdu, 44);
            return;
    }
}

std::vector<uint8_t> Iec101Station::EncodePending(const Pending& pending) {
    switch (pending.kind) {
        case PendingKind::kReady:
            return pending.asdu;
        case PendingKind::kDelayConfirmation: {
            std::vector<uint8_t> a = pending.asdu;
            a[2] = static_cast<uint8_t>((a[2] & kTest) | 7);
            // The send time plus the time the activation spent in the station.
            const int64_t held = std::max<int64_t>(0, NowUnixMs() - pending.receivedMs);
            const auto returned = static_cast<uint16_t>((pending.sendTime + held) % 60000);
            a.push_back(static_cast<uint8_t>(returned & 0xFF));
            a.push_back(static_cast<uint8_t>(returned >> 8));
            return a;
        }
        case PendingKind::kValues:
            break;
    }
    if (valueProvider_) {
        valueProvider_(config_.objects);
    }
    const auto count = static_cast<uint8_t>(pending.objects.size());
    std::vector<uint8_t> a =
        AsduHeader(config_.valueType, static_cast<uint8_t>(count | (pending.sequence ? 0x80 : 0)),
                   pending.cause);
    for (size_t i = 0; i < pending.objects.size(); ++i) {
        const Iec101StationObject& object = config_.objects[pending.objects[i]];
        if (i == 0 || !pending.sequence) {
            AppendIoa(a, object.ioa);
        }
        AppendElement(a, object);
    }
    if (IsBlockType(config_.valueType)) {
        AppendCp56(a);
    }
    return a;
}

std::vector<uint8_t> Iec101Station::Class2Answer() {
    if (faults.e5InsteadOfData && !queue_.empty()) {
        return {kE5};
    }
    if (queue_.empty() && config_.periodicWhenEmpty && !config_.objects.empty()) {
        std::vector<size_t> all(config_.objects.size());
        for (size_t i = 0; i < all.size(); ++i) {
            all[i] = i;
        }
        QueueValues(all, 1, false);
    }
    if (queue_.empty()) {
        return faults.noDataAsE5 ? std::vector<uint8_t>{kE5} : FixedFrame(AnswerControl(9));
    }
    const Pending pending = queue_.front();
    queue_.pop_front();
    const uint8_t control = faults.acdInUserData ? 0x28 : AnswerControl(8);
    return VariableFrame(control, EncodePending(pending));
}

Iec101StationPeer::Iec101StationPeer(Iec101Station& station, VirtualLine& line,
                                     const LineSettings& lineSettings, uint64_t turnaround)
    : settings(lineSettings), turnaroundUs(turnaround), station_(station), line_(line) {}

void Iec101StationPeer::OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) {
    if (!SameFraming(sentAt, settings)) {
        return;  // noise at this station's settings
    }
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

void Iec101StationPeer::OnTime(uint64_t nowUs) {
    std::vector<uint8_t> segment;
    uint64_t segmentEndUs = 0;
    const auto feed = [&] {
        if (segment.empty()) {
            return;
        }
        const auto lagMs = static_cast<uint32_t>((nowUs - segmentEndUs) / 1000);
        const std::vector<uint8_t> answer = station_.Consume(segment, lagMs);
        if (!answer.empty()) {
            line_.SendToProgram(answer, settings, segmentEndUs + turnaroundUs);
        }
        segment.clear();
    };
    while (!pending_.empty() && pending_.front().timeUs <= nowUs) {
        const TimedByte b = pending_.front();
        pending_.pop_front();
        if (lastByteUs_ != 0 && b.timeUs > lastByteUs_ + kFrameGapUs) {
            feed();
            station_.DiscardPartialFrame();
        }
        segment.push_back(b.value);
        segmentEndUs = b.timeUs;
        lastByteUs_ = b.timeUs;
    }
    feed();
}
