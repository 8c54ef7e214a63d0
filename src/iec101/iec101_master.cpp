// SPDX-License-Identifier: MIT
#include "iec101/iec101_master.h"

#include <algorithm>

#include "channel/serial_channel.h"
#include "iec101/iec101_commands.h"

Iec101Master::Iec101Master(Iec101Results& results) : results_(results) {}

void Iec101Master::PrepareValueSet(std::vector<uint8_t> receivedFlags,
                                   std::vector<uint8_t> expectedMask, size_t valueTableBytes) {
    receivedFlags_ = std::move(receivedFlags);
    expectedMask_ = std::move(expectedMask);
    valueTable_.assign(valueTableBytes, 0);
}

uint8_t Iec101Master::TakeFcb() {
    const uint8_t fcb = nextFcb_;
    nextFcb_ = fcb == 0 ? 1 : 0;
    return fcb;
}

void Iec101Master::NoteFrameKind() {
    TrafficRecorder& traffic = port_->Traffic();
    traffic.SetKind(FrameKind::kFt12);
    traffic.SetWidths(FrameWidths{AddressBytes(widths_.address), AddressBytes(widths_.address),
                                  CauseBytes(widths_.cause), IoaBytes(widths_.ioa)});
}

void Iec101Master::WriteFrame(const std::vector<uint8_t>& frame) {
    if (port_ != nullptr) {
        NoteFrameKind();
        port_->WriteBytes(frame.data(), frame.size());
    }
}

bool Iec101Master::AnswerHasFunction(uint16_t linkAddress, const LinkConfig& config,
                                     uint8_t control, uint8_t function) {
    if (port_ == nullptr) {
        return false;
    }
    WriteFrame(BuildFixedFrame(control, linkAddress, config));
    port_->GetClock().Sleep(150);
    std::vector<uint8_t> answer(kReceiveBufferSize);
    const size_t n = port_->ReadAvailable(answer.data(), answer.size());
    const bool heard =
        n == 1 ? answer[0] == kSingleAck : (n == 5 || n == 6) && (answer[1] & 0x0F) == function;
    port_->Traffic().EndAnswer(n == 0  ? kReceiveNothing
                               : heard ? (n == 1 ? kReceiveSingleAck : kReceiveOk)
                                       : kReceiveUnexpected);
    return heard;
}

bool Iec101Master::RequestLinkStatus(uint16_t linkAddress, const LinkConfig& config) {
    return AnswerHasFunction(linkAddress, config, kControlLinkStatus, 11);
}

bool Iec101Master::ResetRemoteLink(uint16_t linkAddress, const LinkConfig& config) {
    const bool ok = AnswerHasFunction(linkAddress, config, kControlResetLink, 0);
    nextFcb_ = 1;
    return ok;
}

void Iec101Master::RequestClass2Data(uint16_t linkAddress, const LinkConfig& config,
                                     int newRequest) {
    uint8_t control = kControlClass2;
    if (newRequest == 1 && TakeFcb() != 0) {
        control |= kControlFcb;
    }
    WriteFrame(BuildFixedFrame(control, linkAddress, config));
}

void Iec101Master::SendAsduCommand(uint16_t linkAddress, uint8_t type, uint32_t ioa,
                                   const LinkConfig& config) {
    const uint8_t fcb = TakeFcb();
    WriteFrame(type == kTypeInterrogation ? BuildInterrogationFrame(fcb, linkAddress, ioa, config)
                                          : BuildReadFrame(fcb, linkAddress, ioa, config));
}

void Iec101Master::SendClockSync(uint16_t linkAddress, const LinkConfig& config,
                                 bool useLocalTime) {
    if (port_ == nullptr) {
        return;
    }
    const uint8_t fcb = TakeFcb();
    const SystemTime now = ReadClockAtSecondStart(port_->GetClock(), useLocalTime);
    WriteFrame(BuildClockSyncFrame(fcb, linkAddress, config, now));
}

std::vector<uint8_t> Iec101Master::BuildDelayActivation(uint16_t linkAddress,
                                                        const LinkConfig& config,
                                                        uint16_t sendTimeMs) {
    return BuildDelayActivationFrame(TakeFcb(), linkAddress, config, sendTimeMs);
}

std::vector<uint8_t> Iec101Master::BuildDelayTransfer(uint16_t linkAddress,
                                                      const LinkConfig& config, uint16_t delayMs) {
    return BuildDelayTransferFrame(TakeFcb(), linkAddress, config, delayMs);
}

uint8_t Iec101Master::ReceiveFrame(std::vector<uint8_t>& answer, const LinkConfig& config) {
    if (port_ == nullptr) {
        return kReceiveNothing;
    }
    NoteFrameKind();
    const std::vector<uint8_t> collected = CollectAnswer(*port_);
    const uint8_t code = ClassifyAnswer(collected, answer, config);
    port_->Traffic().EndAnswer(code);
    return code;
}

uint8_t Iec101Master::ClassifyAnswer(std::span<const uint8_t> frame, std::vector<uint8_t>& answer,
                                     const LinkConfig& config) {
    const FrameVerdict verdict = ClassifyFrame(frame, config);
    if (!verdict.userData) {
        return verdict.code;
    }
    ParseAsdu(frame.subspan(verdict.asduBegin, verdict.asduEnd - verdict.asduBegin));
    if (results_.setComplete) {
        answer.push_back(0);
        answer.push_back(0);
        answer.insert(answer.end(), valueTable_.begin(), valueTable_.end());
        std::fill(valueTable_.begin(), valueTable_.end(), uint8_t{0});
    }
    return UserDataCode(results_.lastType, results_.lastCause);
}

std::string Iec101ResultMessage(uint8_t code) {
    switch (code) {
        case 44:
            return "Неизвестный идентификатор типа";
        case 45:
            return "Неизвестная причина передачи";
        case 47:
            return "Неизвестный адрес объекта информации";
        default:
            return "Нет подтверждения активации/деактивации опроса";
    }
}
