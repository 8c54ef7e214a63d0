// SPDX-License-Identifier: MIT
// The Modbus exchanges of SerialChannel: a send writes one request and returns; a receive
// collects whatever has arrived since, with fixed gaps, and checks it.

#include "channel/modbus_frame.h"
#include "channel/serial_channel.h"

namespace {

constexpr uint32_t kFirstWaitMs = 50;  // extra wait when nothing is queued at the start
constexpr uint32_t kGapMs = 25;        // a pause this long without bytes ends the answer

}  // namespace

void SerialChannel::SendRtuRequest(uint8_t address, uint8_t function, uint16_t startRegister,
                                   const std::vector<uint8_t>* data) {
    const std::vector<uint8_t> frame = BuildRtuRequest(address, function, startRegister, data);
    traffic_.SetKind(FrameKind::kModbusRtu);
    WriteBytes(frame.data(), frame.size());
}

void SerialChannel::SendAsciiRequest(uint8_t address, uint8_t function, uint16_t startRegister,
                                     const std::vector<uint8_t>* data) {
    const std::vector<uint8_t> frame = BuildAsciiRequest(address, function, startRegister, data);
    traffic_.SetKind(FrameKind::kModbusAscii);
    WriteBytes(frame.data(), frame.size());
}

std::vector<uint8_t> SerialChannel::CollectAnswer() {
    std::vector<uint8_t> buffer(kCollectionBufferSize);
    size_t n = ReadAvailable(buffer.data(), buffer.size());
    if (n == 0) {
        clock_.Sleep(kFirstWaitMs);
    }
    clock_.Sleep(kGapMs);
    // A full buffer reads nothing more, which ends the collection; the rest stays queued.
    size_t more = ReadAvailable(buffer.data() + n, buffer.size() - n);
    while (more > 0) {
        n += more;
        clock_.Sleep(kGapMs);
        more = ReadAvailable(buffer.data() + n, buffer.size() - n);
    }
    buffer.resize(n);
    return buffer;
}

uint8_t SerialChannel::ReceiveRtuAnswer(std::vector<uint8_t>& answer) {
    traffic_.SetKind(FrameKind::kModbusRtu);
    const uint8_t result = CheckRtuAnswer(CollectAnswer(), answer);
    traffic_.EndAnswer(result);
    return result;
}

uint8_t SerialChannel::ReceiveAsciiAnswer(std::vector<uint8_t>& answer) {
    traffic_.SetKind(FrameKind::kModbusAscii);
    const uint8_t result = CheckAsciiAnswer(CollectAnswer(), answer);
    traffic_.EndAnswer(result);
    return result;
}

void SerialChannel::DiscardAnswer() {
    const FrameKind kind = traffic_.Kind();
    traffic_.SetKind(FrameKind::kDiscarded);
    CollectAnswer();
    traffic_.SetKind(kind);
}
