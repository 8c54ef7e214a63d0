// SPDX-License-Identifier: MIT
#include "sim/simulated_transducer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

#include "catalogue/parameter_naming.h"
#include "channel/line_mode.h"
#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"
#include "platform/calendar.h"

namespace {

constexpr uint64_t kWakeWindowUs = 1'000'000;       // three zero bytes within a second wake it
constexpr uint64_t kWakeAnswerDelayUs = 10'000;     // it answers the wake-up after 10 ms
constexpr uint64_t kTurnaroundUs = 3'000;           // and a request 3 ms after its end
constexpr uint64_t kChangeOverDelayUs = 1'000'000;  // own settings 1 s after function 127
constexpr uint64_t kBroadcastPeriodUs = 500'000;    // exchange mode 4: values every 500 ms

constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalDataAddress = 2;
constexpr uint8_t kIllegalDataValue = 3;

uint32_t Divisor(uint8_t divisorCode) {
    switch (divisorCode & 0x07) {
        case 1:
            return 1000;
        case 2:
            return 100;
        case 3:
            return 10;
        default:
            return 1;
    }
}

// The code that a program turns back into the value: value = code * nominal / divisor / 65536.
uint16_t CodeOf(const SimParameter& p, double value) {
    if (p.nominal == 0) {
        return 0;
    }
    const double code = std::round(value * 65536.0 * Divisor(p.divisorCode) / p.nominal);
    const bool isUnsigned = p.name.find_first_of("Ff") != std::string::npos;
    const double lo = isUnsigned ? 0.0 : -32768.0;
    const double hi = isUnsigned ? 65535.0 : 32767.0;
    const double clamped = std::clamp(code, lo, hi);
    return static_cast<uint16_t>(static_cast<int32_t>(clamped) & 0xFFFF);
}

LineSettings SettingsOfByte(uint8_t linkSettingsByte) {
    return ParseModeString(ModeStringFromLinkSettingsByte(linkSettingsByte), LineSettings{});
}

// Noise on the line, the same for the same request: never a byte that starts or ends a frame
// of either protocol, so that the noise cannot be taken for a frame of its own.
uint8_t NoiseByte(uint32_t request, size_t i) {
    uint32_t x = request * 0x9E37'79B9u + static_cast<uint32_t>(i) * 0x85EB'CA6Bu;
    x ^= x >> 15;
    x *= 0x2C1B'3C6Du;
    x ^= x >> 12;
    auto b = static_cast<uint8_t>(x);
    if (b == ':' || b == '\r' || b == '\n' || b == 0x10 || b == 0x16 || b == 0x68 || b == 0xE5) {
        b ^= 0x80;
    }
    return b;
}

}  // namespace

SimulatedTransducer::SimulatedTransducer(SimProfile profile, Clock& clock)
    : profile_(std::move(profile)), clock_(clock) {
    ownSettings_ = SettingsOfByte(profile_.config.linkSettingsByte);
    settings_ = ownSettings_;
    startUtcMs_ = UtcMs();
    // A transducer's clock usually runs on local time.
    clockOffsetMs_ = UnixMsFromCalendar(clock_.LocalTime()) - startUtcMs_;
    // In exchange mode 4 it sends its values unasked, from its first change-over on.
    const TransducerConfig& c = profile_.config;
    if (PreparesIec101(c.ExchangeMode)) {
        Iec101StationConfig sc;
        sc.linkAddress = c.linkAddress;
        sc.addressWidth = c.iecAddressWidth;
        sc.ioaWidth = c.iecObjectAddressWidth;
        sc.causeWidth = c.iecCauseWidth;
        sc.valueType = c.iecValueType;
        sc.clockOffsetMs = clockOffsetMs_;
        for (size_t i = 0; i < profile_.parameters.size(); ++i) {
            const SimParameter& p = profile_.parameters[i];
            Iec101StationObject object;
            object.ioa = p.address;
            object.group = p.group > 20 && p.group <= 36 ? static_cast<uint8_t>(p.group - 20) : 0;
            sc.objects.push_back(object);
            stationParameters_.push_back(i);
        }
        station_ = std::make_unique<Iec101Station>(std::move(sc), clock_);
        station_->SetValueProvider([this](std::vector<Iec101StationObject>& objects) {
            for (size_t k = 0; k < objects.size() && k < stationParameters_.size(); ++k) {
                const size_t i = stationParameters_[k];
                const double value = PhysicalValue(i);
                objects[k].value = static_cast<float>(value);
                objects[k].code = CodeOf(profile_.parameters[i], value);
            }
        });
    }
}

int64_t SimulatedTransducer::UtcMs() {
    return UnixMsFromCalendar(clock_.UtcTime());
}

SystemTime SimulatedTransducer::ClockTime() {
    return CalendarFromUnixMs(UtcMs() + clockOffsetMs_);
}

double SimulatedTransducer::PhysicalValue(size_t i) {
    const SimParameter& p = profile_.parameters.at(i);
    const double seconds = static_cast<double>(UtcMs() - startUtcMs_) / 1000.0;
    return p.base + p.amplitude * std::sin(2 * std::numbers::pi * seconds / p.periodSeconds +
                                           static_cast<double>(i));
}

uint64_t SimulatedTransducer::FrameGapUs() const {
    return std::max(minFrameGapUs_, CharTimeMicroseconds(settings_) * 7 / 2);
}

bool SimulatedTransducer::Hears(const LineSettings& sentAt) const {
    if (sentAt.baudRate != settings_.baudRate) {
        return false;
    }
    return !judgeFraming_ ||
           (sentAt.parity == settings_.parity && sentAt.dataBits == settings_.dataBits);
}

void SimulatedTransducer::Receive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) {
    for (const TimedByte& b : bytes) {
        incoming_.push_back({b, sentAt});
    }
}

void SimulatedTransducer::AdvanceTo(uint64_t nowUs) {
    advanceTargetUs_ = nowUs;
    constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
    for (;;) {
        const uint64_t byteAt = incoming_.empty() ? kNever : incoming_.front().byte.timeUs;
        const uint64_t frameEndAt = frame_.empty() ? kNever : lastByteUs_ + FrameGapUs();
        const uint64_t changeAt = changeOverAtUs_.value_or(kNever);
        const uint64_t broadcastAt =
            phase_ == Phase::kOwnSettings ? nextBroadcastUs_.value_or(kNever) : kNever;
        const uint64_t next = std::min({byteAt, frameEndAt, changeAt, broadcastAt});
        if (next > nowUs) {
            break;
        }
        nowUs_ = next;
        if (next == frameEndAt) {
            EndFrame(next);
        } else if (next == byteAt) {
            const Heard heard = incoming_.front();
            incoming_.pop_front();
            HandleByte(heard);
        } else if (next == changeAt) {
            changeOverAtUs_.reset();
            phase_ = Phase::kOwnSettings;
            settings_ = ownSettings_;
            if (profile_.config.ExchangeMode == ExchangeMode::kReceiveOnly) {
                nextBroadcastUs_ = next + kBroadcastPeriodUs;
            }
        } else {
            nextBroadcastUs_ = next + kBroadcastPeriodUs;
            const uint32_t start = profile_.parameters.empty() ? 0 : profile_.parameters[0].address;
            std::vector<uint8_t> body = {static_cast<uint8_t>(profile_.config.linkAddress), 4, 0};
            for (uint32_t a = start; body.size() < 3 + 2 * 32; ++a) {
                const auto value = RegisterValue(a);
                if (!value) {
                    break;
                }
                body.push_back(static_cast<uint8_t>(*value >> 8));
                body.push_back(static_cast<uint8_t>(*value));
            }
            body[2] = static_cast<uint8_t>(body.size() - 3);
            if (!faults_.silent) {
                SendModbus(body, next, false);
            }
        }
    }
    nowUs_ = std::max(nowUs_, nowUs);
}

void SimulatedTransducer::InjectFault(SimFault kind, uint32_t requests, uint32_t amount) {
    PlannedFault fault;
    fault.kind = kind;
    fault.window.fromRequest = requestsHeard + 1;
    fault.window.requests = requests;
    fault.amount = amount;
    plan_.Add(fault);
}

void SimulatedTransducer::HandleByte(const Heard& heard) {
    if (heard.byte.timeUs < deafUntilUs_) {
        return;  // still starting up after a reboot
    }
    if (!Hears(heard.sentAt)) {
        // A zero byte sent slower than the transducer listens holds the line low for longer
        // than a character: a break, which it takes as part of a wake-up.
        if (heard.byte.value == 0 && heard.sentAt.baudRate < settings_.baudRate) {
            NoteZeroByte(heard.byte.timeUs);
        }
        return;
    }
    frame_.push_back(heard.byte.value);
    lastByteUs_ = heard.byte.timeUs;
    const ExchangeMode mode = profile_.config.ExchangeMode;
    const bool ascii = phase_ == Phase::kOwnSettings && (mode == ExchangeMode::kModbusAscii ||
                                                         mode == ExchangeMode::kModbusAsciiClock);
    if (ascii && heard.byte.value == '\n') {
        EndFrame(heard.byte.timeUs);
    }
}

void SimulatedTransducer::EndFrame(uint64_t endUs) {
    std::vector<uint8_t> frame;
    frame.swap(frame_);
    HandleFrame(frame, endUs);
}

void SimulatedTransducer::NoteZeroByte(uint64_t timeUs) {
    zeroTimes_.push_back(timeUs);
    while (!zeroTimes_.empty() && zeroTimes_.front() + kWakeWindowUs < timeUs) {
        zeroTimes_.pop_front();
    }
    if (zeroTimes_.size() < 3) {
        return;
    }
    zeroTimes_.clear();
    ++wakeUps;
    held_.reset();
    phase_ = Phase::kConfiguration;
    settings_ = SettingsOfByte(kConfigurationLinkSettingsByte);
    changeOverAtUs_.reset();
    frame_.clear();
    if (faults_.silent) {
        return;
    }
    // It answers with its model text, eight characters.
    std::vector<uint8_t> answer(profile_.config.recordBlock.begin(),
                                profile_.config.recordBlock.begin() + 8);
    std::replace(answer.begin(), answer.end(), uint8_t{0}, uint8_t{'-'});
    Send(answer, timeUs + kWakeAnswerDelayUs);
}

void SimulatedTransducer::HandleFrame(const std::vector<uint8_t>& frame, uint64_t endUs) {
    if (std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 0; })) {
        for (size_t i = 0; i < frame.size(); ++i) {
            NoteZeroByte(endUs);
        }
        return;
    }
    if (faults_.silent) {
        return;
    }
    if (phase_ == Phase::kConfiguration) {
        HandleConfigurationFrame(frame, endUs);
        return;
    }
    active_ = FaultsFor(++requestsHeard);
    if (active_.rebootMs) {
        Reboot(endUs, *active_.rebootMs);
    } else if (!active_.silence) {
        if (held_) {
            // The late answer of the previous request goes out first.
            const HeldAnswer late = std::move(*held_);
            held_.reset();
            SendInPieces(late.bytes, endUs + kTurnaroundUs, late.splitGapUs);
        }
        capturing_ = true;
        captured_.clear();
        HandleOwnSettingsFrame(frame, endUs);
        capturing_ = false;
        if (!captured_.empty()) {
            EmitAnswer(std::move(captured_), capturedStartUs_);
            captured_.clear();
        }
    }
    active_ = ActiveFaults{};
}

void SimulatedTransducer::HandleOwnSettingsFrame(const std::vector<uint8_t>& frame,
                                                 uint64_t endUs) {
    switch (profile_.config.ExchangeMode) {
        case ExchangeMode::kModbusAscii:
        case ExchangeMode::kModbusAsciiClock:
            HandleModbusRequest(frame, endUs, true);
            break;
        case ExchangeMode::kModbusRtu:
            HandleModbusRequest(frame, endUs, false);
            break;
        case ExchangeMode::kIec101:
        case ExchangeMode::kIec101Prepared:
            if (station_) {
                // The station reads its clock for this frame's moment, not for the later
                // moment at which the line is looked at.
                const auto lagMs = static_cast<uint32_t>(
                    advanceTargetUs_ > endUs ? (advanceTargetUs_ - endUs) / 1000 : 0);
                // The plan's station faults hold for this frame only, on top of those set.
                const Iec101StationFaults set = station_->faults;
                Iec101StationFaults& f = station_->faults;
                f.negativeConfirmation = f.negativeConfirmation || active_.negativeConfirmation;
                f.acdInUserData = f.acdInUserData || active_.acd;
                f.e5InsteadOfData = f.e5InsteadOfData || active_.e5ForData;
                if (active_.commandCause != 0) {
                    f.commandCause = active_.commandCause;
                }
                const std::vector<uint8_t> answer = station_->Consume(frame, lagMs);
                station_->faults = set;
                if (!answer.empty()) {
                    Send(answer, endUs + kTurnaroundUs);
                }
                clockOffsetMs_ = station_->ClockOffsetMs();
            }
            break;
        default:
            break;  // mode 4 only sends
    }
}

SimulatedTransducer::ActiveFaults SimulatedTransducer::FaultsFor(uint32_t request) {
    ActiveFaults a;
    a.request = request;
    if (plan_.Empty()) {
        return a;
    }
    for (const PlannedFault& f : plan_.At(request)) {
        ++faultsApplied;
        if (faultObserver_) {
            faultObserver_(request, f);
        }
        switch (f.kind) {
            case SimFault::kNoiseBefore:
                a.noiseBefore += f.amount;
                break;
            case SimFault::kNoiseAfter:
                a.noiseAfter += f.amount;
                break;
            case SimFault::kDropByte:
                a.dropByte = true;
                break;
            case SimFault::kBadChecksum:
                a.badChecksum = true;
                break;
            case SimFault::kSplit:
                a.splitGapUs = uint64_t{f.amount} * 1000;
                break;
            case SimFault::kLate:
                a.late = true;
                break;
            case SimFault::kSilence:
                a.silence = true;
                break;
            case SimFault::kException:
                a.exceptionCode = static_cast<uint8_t>(std::min<uint32_t>(f.amount, 255));
                break;
            case SimFault::kOtherSlave:
                a.otherSlave = true;
                break;
            case SimFault::kReboot:
                a.rebootMs = f.amount;
                break;
            case SimFault::kNegativeConfirmation:
                a.negativeConfirmation = true;
                break;
            case SimFault::kUnknownCause:
                a.commandCause = static_cast<uint8_t>(f.amount);
                break;
            case SimFault::kAcd:
                a.acd = true;
                break;
            case SimFault::kE5ForData:
                a.e5ForData = true;
                break;
        }
    }
    // Noise bursts longer than a frame buffer are not what a line does.
    a.noiseBefore = std::min<size_t>(a.noiseBefore, 512);
    a.noiseAfter = std::min<size_t>(a.noiseAfter, 512);
    return a;
}

void SimulatedTransducer::Reboot(uint64_t atUs, uint32_t deafMs) {
    ++reboots;
    deafUntilUs_ = atUs + uint64_t{deafMs} * 1000;
    phase_ = Phase::kConfiguration;
    settings_ = SettingsOfByte(kConfigurationLinkSettingsByte);
    changeOverAtUs_.reset();
    nextBroadcastUs_.reset();
    frame_.clear();
    zeroTimes_.clear();
    held_.reset();
    if (station_) {
        station_->Restart();
    }
}

void SimulatedTransducer::DamageChecksum(std::vector<uint8_t>& bytes) const {
    const size_t n = bytes.size();
    switch (profile_.config.ExchangeMode) {
        case ExchangeMode::kModbusAscii:
        case ExchangeMode::kModbusAsciiClock:
            // ':' ... LRC CR LF: the LRC's low digit becomes another hexadecimal digit.
            if (n >= 5) {
                bytes[n - 3] =
                    NibbleToHex(static_cast<uint8_t>((HexToNibble(bytes[n - 3]) + 1) & 0x0F));
            }
            break;
        case ExchangeMode::kIec101:
        case ExchangeMode::kIec101Prepared:
            // FT1.2: the sum before the end byte (a lone E5 has none).
            if (n >= 5 && bytes[n - 1] == 0x16) {
                ++bytes[n - 2];
            }
            break;
        default:
            if (n >= 3) {
                bytes[n - 1] ^= 0x5A;  // the CRC's high byte
            }
            break;
    }
}

void SimulatedTransducer::EmitAnswer(std::vector<uint8_t> bytes, uint64_t startUs) {
    if (active_.badChecksum) {
        DamageChecksum(bytes);
    }
    if (active_.dropByte && !bytes.empty()) {
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    }
    for (size_t i = 0; i < active_.noiseBefore; ++i) {
        bytes.insert(bytes.begin(), NoiseByte(active_.request, i));
    }
    for (size_t i = 0; i < active_.noiseAfter; ++i) {
        bytes.push_back(NoiseByte(active_.request, 1000 + i));
    }
    if (bytes.empty()) {
        return;
    }
    if (active_.late) {
        held_ = HeldAnswer{std::move(bytes), active_.splitGapUs};
        return;
    }
    SendInPieces(bytes, startUs, active_.splitGapUs);
}

void SimulatedTransducer::SendInPieces(const std::vector<uint8_t>& bytes, uint64_t startUs,
                                       uint64_t splitGapUs) {
    if (splitGapUs == 0 || bytes.size() < 2) {
        Send(bytes, startUs);
        return;
    }
    const size_t half = bytes.size() / 2;
    const std::vector<uint8_t> first(bytes.begin(),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(half));
    const std::vector<uint8_t> rest(bytes.begin() + static_cast<std::ptrdiff_t>(half), bytes.end());
    Send(first, startUs);
    Send(rest, startUs + half * CharTimeMicroseconds(settings_) + splitGapUs);
}

void SimulatedTransducer::HandleConfigurationFrame(const std::vector<uint8_t>& frame,
                                                   uint64_t endUs) {
    std::vector<uint8_t> body;
    const uint8_t own = static_cast<uint8_t>(profile_.config.linkAddress);
    if (CheckRtuAnswer(frame, body) != kModbusValid || body.size() < 2) {
        return;
    }
    const uint64_t answerAt = endUs + kTurnaroundUs;
    if (body[0] == own && body[1] == kFunctionRtcTest) {
        // The RTC test request carries its own access value.
        if (body.size() == 4 && body[2] == kRtcTestAccessValue[0] &&
            body[3] == kRtcTestAccessValue[1] && !faults_.refuseRtcTest) {
            rtcTestMode = true;
            Send(FrameRtu(body), answerAt);  // the request echoed
        } else {
            Send(FrameRtu(std::vector<uint8_t>{own, kFunctionRtcTest | 0x80, 1}), answerAt);
        }
        return;
    }
    if (body[0] != 1) {
        return;
    }
    switch (body[1]) {
        case kFunctionReadConfiguration:
            if (body.size() == 4 && body[2] == kConfigAccessValue[0] &&
                body[3] == kConfigAccessValue[1]) {
                if (faults_.ignoreConfigurationRequests > 0) {
                    --faults_.ignoreConfigurationRequests;
                    break;
                }
                ++configurationReads;
                std::vector<uint8_t> record = EncodeTransducerConfig(profile_.config);
                if (faults_.recordLength && *faults_.recordLength < record.size()) {
                    record.resize(*faults_.recordLength);
                }
                Send(FrameRtu(record), answerAt);
            }
            break;
        case kFunctionEndConfiguration:
            Send(FrameRtu(std::vector<uint8_t>{1, kFunctionEndConfiguration, 0}), answerAt);
            changeOverAtUs_ = endUs + kChangeOverDelayUs;
            break;
        default:
            break;
    }
}

void SimulatedTransducer::HandleModbusRequest(const std::vector<uint8_t>& frame, uint64_t endUs,
                                              bool ascii) {
    std::vector<uint8_t> body;
    if (ascii) {
        // ':' hex pairs LRC CR LF
        if (frame.size() < 9 || frame.front() != ':' || frame[frame.size() - 1] != '\n' ||
            frame[frame.size() - 2] != '\r' || (frame.size() - 3) % 2 != 0) {
            return;
        }
        for (size_t i = 1; i + 3 < frame.size(); i += 2) {
            body.push_back(HexPairToByte(frame[i], frame[i + 1]));
        }
        const uint8_t lrc = body.back();
        body.pop_back();
        if (ComputeLrc(body) != lrc) {
            return;
        }
    } else if (CheckRtuAnswer(frame, body) != kModbusValid) {
        return;
    }
    // It answers at its own address, and takes clock writes at address 1 too: the programs
    // set every transducer's clock there.
    const uint8_t own = static_cast<uint8_t>(profile_.config.linkAddress);
    if (body.size() < 2 || !(body[0] == own || (body[0] == 1 && body[1] == 16))) {
        return;
    }
    // A second device with a colliding address answers in its place.
    const uint8_t address = active_.otherSlave ? static_cast<uint8_t>(body[0] + 1) : body[0];
    const uint8_t function = body[1];
    const uint64_t answerAt = endUs + kTurnaroundUs;
    auto exception = [&](uint8_t code) {
        SendModbus({address, static_cast<uint8_t>(function | 0x80), code}, answerAt, ascii);
    };
    if (active_.exceptionCode != 0) {
        exception(active_.exceptionCode);
        return;
    }
    if (body.size() < 6) {
        exception(kIllegalDataValue);
        return;
    }
    const uint16_t start = static_cast<uint16_t>(body[2] << 8 | body[3]);
    const uint16_t count = static_cast<uint16_t>(body[4] << 8 | body[5]);
    if (function == 4) {
        if (count == 0 || count > 125) {
            exception(kIllegalDataValue);
            return;
        }
        std::vector<uint8_t> answer = {address, 4, static_cast<uint8_t>(2 * count)};
        for (uint32_t a = start; a < uint32_t{start} + count; ++a) {
            const auto value = RegisterValue(a);
            if (!value) {
                exception(kIllegalDataAddress);
                return;
            }
            answer.push_back(static_cast<uint8_t>(*value >> 8));
            answer.push_back(static_cast<uint8_t>(*value));
        }
        ++pollsAnswered;
        SendModbus(answer, answerAt, ascii);
    } else if (function == 16) {
        const bool clock = profile_.config.timeSupport != 0 && start == profile_.clockAddress &&
                           count == 4 && body.size() >= 7 + 8 && body[6] == 8;
        if (!clock) {
            exception(kIllegalDataAddress);
            return;
        }
        const uint8_t* r = &body[7];
        const unsigned msOfMinute = unsigned{r[0]} << 8 | r[1];
        SystemTime t;
        t.hour = r[2];
        t.minute = r[3];
        t.month = r[4];
        t.day = r[5] & 0x1F;
        t.year = static_cast<uint16_t>(2000 + r[7]);
        t.second = static_cast<uint16_t>(msOfMinute / 1000);
        t.milliseconds = static_cast<uint16_t>(msOfMinute % 1000);
        clockOffsetMs_ = UnixMsFromCalendar(t) - UtcMs();
        ++clockWrites;
        SendModbus({address, 16, body[2], body[3], body[4], body[5]}, answerAt, ascii);
    } else {
        exception(kIllegalFunction);
    }
}

std::optional<uint16_t> SimulatedTransducer::RegisterValue(uint32_t address) {
    const TransducerConfig& c = profile_.config;
    if (c.timeSupport != 0 && address >= profile_.clockAddress &&
        address < profile_.clockAddress + 4) {
        const SystemTime t = ClockTime();
        const unsigned dayOfWeek = t.dayOfWeek == 0 ? 7u : t.dayOfWeek;
        switch (address - profile_.clockAddress) {
            case 0:
                return static_cast<uint16_t>(t.second * 1000 + t.milliseconds);
            case 1:
                return static_cast<uint16_t>(t.hour << 8 | t.minute);
            case 2:
                return static_cast<uint16_t>(t.month << 8 | (dayOfWeek << 5) | t.day);
            default:
                return static_cast<uint16_t>(t.year - 2000);
        }
    }
    for (size_t i = 0; i < profile_.parameters.size(); ++i) {
        const SimParameter& p = profile_.parameters[i];
        if (ValueSizeOfName(p.name) == 2) {
            if (address == p.address) {
                return CodeOf(p, PhysicalValue(i));
            }
        } else if (address == p.address || address == p.address + 1) {
            const uint32_t bits = std::bit_cast<uint32_t>(static_cast<float>(PhysicalValue(i)));
            const bool highFirst = c.wordOrder != 2;
            const bool firstRegister = address == p.address;
            return static_cast<uint16_t>(firstRegister == highFirst ? bits >> 16 : bits & 0xFFFF);
        }
    }
    return std::nullopt;
}

void SimulatedTransducer::Send(const std::vector<uint8_t>& bytes, uint64_t startUs) {
    if (capturing_) {
        if (captured_.empty()) {
            capturedStartUs_ = startUs;
        }
        captured_.insert(captured_.end(), bytes.begin(), bytes.end());
        return;
    }
    if (output_) {
        output_(bytes, settings_, startUs + answerDelayUs_);
    }
}

void SimulatedTransducer::SendModbus(const std::vector<uint8_t>& body, uint64_t startUs,
                                     bool ascii) {
    Send(ascii ? FrameAscii(body) : FrameRtu(body), startUs);
}

SimulatedTransducerPeer::SimulatedTransducerPeer(SimulatedTransducer& device, VirtualLine& line)
    : device_(device), line_(line) {
    device_.SetOutput([this](const std::vector<uint8_t>& bytes, const LineSettings& settings,
                             uint64_t startUs) { line_.SendToProgram(bytes, settings, startUs); });
    line_.AttachPeer(this);
}

void SimulatedTransducerPeer::OnReceive(const std::vector<TimedByte>& bytes,
                                        const LineSettings& sentAt) {
    device_.Receive(bytes, sentAt);
}

void SimulatedTransducerPeer::OnTime(uint64_t nowUs) {
    device_.AdvanceTo(nowUs);
}
