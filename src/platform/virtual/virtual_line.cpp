// SPDX-License-Identifier: MIT
#include "platform/virtual/virtual_line.h"

#include <algorithm>

VirtualLine::VirtualLine(VirtualClock& clock, std::string portName)
    : clock_(clock), portName_(std::move(portName)) {
    listenerId_ = clock_.AddListener([this](uint64_t nowUs) {
        if (peer_ != nullptr) {
            peer_->OnTime(nowUs);
        }
    });
}

VirtualLine::~VirtualLine() {
    clock_.RemoveListener(listenerId_);
}

uint64_t VirtualLine::SendToProgram(const std::vector<uint8_t>& bytes, const LineSettings& sentAt,
                                    uint64_t startUs) {
    const uint64_t charUs = CharTimeMicroseconds(sentAt);
    uint64_t t = std::max(startUs, peerTxEndUs_);
    for (uint8_t b : bytes) {
        t += charUs;
        lastArrivalToProgramUs_ = std::max(t + propagationUs_, lastArrivalToProgramUs_);
        toProgram_.push_back({{lastArrivalToProgramUs_, b}, sentAt});
    }
    peerTxEndUs_ = t;
    return bytes.empty() ? t : lastArrivalToProgramUs_;
}

uint64_t VirtualLine::SendToProgram(const std::vector<uint8_t>& bytes, const LineSettings& sentAt) {
    return SendToProgram(bytes, sentAt, clock_.NowUs());
}

bool VirtualLine::ClaimForProgram(const std::string& name) {
    if (!present_ || programOpen_ || name != portName_) {
        return false;
    }
    programOpen_ = true;
    ++openCount_;
    return true;
}

void VirtualLine::ReleaseFromProgram() {
    programOpen_ = false;
}

size_t VirtualLine::ArrivedCount() const {
    if (!present_) {
        return 0;
    }
    const uint64_t now = clock_.NowUs();
    size_t n = 0;
    for (const auto& p : toProgram_) {
        if (p.byte.timeUs > now) {
            break;
        }
        ++n;
    }
    return n;
}

size_t VirtualLine::TakeArrived(uint8_t* buffer, size_t maxCount) {
    const size_t n = std::min(ArrivedCount(), maxCount);
    for (size_t i = 0; i < n; ++i) {
        const Pending& p = toProgram_.front();
        buffer[i] = SameFraming(p.sentAt, programSettings_) ? p.byte.value : Garble(p.byte.value);
        toProgram_.pop_front();
    }
    return n;
}

bool VirtualLine::WriteFromProgram(const uint8_t* data, size_t count) {
    if (!present_) {
        return false;
    }
    const uint64_t now = clock_.NowUs();
    const uint64_t charUs = CharTimeMicroseconds(programSettings_);
    uint64_t t = std::max(now, programTxEndUs_);
    std::vector<TimedByte> bytes;
    bytes.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        t += charUs;
        bytes.push_back({t + propagationUs_, data[i]});
    }
    programTxEndUs_ = t;
    bytesFromProgram_ += count;
    writes_.push_back({now, programSettings_, std::vector<uint8_t>(data, data + count)});
    if (peer_ != nullptr) {
        peer_->OnReceive(bytes, programSettings_);
    }
    return true;
}

uint8_t VirtualLine::Garble(uint8_t value) {
    // Deterministic stand-in for what a UART at the wrong speed makes of a character.
    return static_cast<uint8_t>((value >> 1) ^ 0xA5);
}

bool VirtualLine::SameFraming(const LineSettings& a, const LineSettings& b) {
    return a.baudRate == b.baudRate && a.dataBits == b.dataBits && a.parity == b.parity;
}

bool VirtualSerialDevice::Open(const std::string& portName) {
    using Kind = OpenFailure::Kind;
    lastOpenFailure_ = {};
    if (open_ || line_.ProgramPortOpen()) {
        lastOpenFailure_.kind = Kind::kBusy;
        return false;
    }
    if (line_.refusal_.kind != Kind::kNone) {
        lastOpenFailure_ = line_.refusal_;
        return false;
    }
    open_ = line_.ClaimForProgram(portName);
    if (!open_) {
        lastOpenFailure_.kind = Kind::kNoSuchPort;
    }
    return open_;
}

void VirtualSerialDevice::Close() {
    if (open_) {
        line_.ReleaseFromProgram();
        open_ = false;
    }
}

bool VirtualSerialDevice::GetLine(LineSettings& settings) {
    if (!open_) {
        return false;
    }
    settings = line_.ProgramSettings();
    return true;
}

bool VirtualSerialDevice::SetLine(const LineSettings& settings) {
    if (!open_ || !HasValidCodes(settings)) {
        return false;
    }
    line_.SetProgramSettings(settings);
    return true;
}

size_t VirtualSerialDevice::QueuedCount() {
    return open_ ? line_.ArrivedCount() : 0;
}

size_t VirtualSerialDevice::Read(uint8_t* buffer, size_t maxCount) {
    return open_ ? line_.TakeArrived(buffer, maxCount) : 0;
}

bool VirtualSerialDevice::Write(const uint8_t* data, size_t count) {
    return open_ && line_.WriteFromProgram(data, count);
}

bool VirtualSerialDevice::WaitTransmitEmpty(uint32_t timeoutMs) {
    if (!open_) {
        return false;
    }
    VirtualClock& clock = line_.GetClock();
    const uint64_t end = line_.ProgramTransmitEndUs();
    const uint64_t deadline = clock.NowUs() + uint64_t{timeoutMs} * 1000;
    if (end <= clock.NowUs()) {
        return true;
    }
    clock.AdvanceToUs(std::min(end, deadline));
    return end <= deadline;
}
