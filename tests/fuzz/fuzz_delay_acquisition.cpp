// SPDX-License-Identifier: MIT
// The delay acquisition (TransferDelayExchange::Acquire) against arbitrary bytes
// on a virtual line: an acknowledgement of the activation and a confirmation, each arriving at a
// time of the input's choosing, the confirmation whole or in pieces, at any moment of the
// minute. The assembly must stay within its buffer and end within its wait, the delay is below
// half a minute, nothing but the fixed acknowledgement frame lets it go on, and a well-formed
// confirmation that arrives in time gives the delay its returned time states.
//
// Input: byte 0 widths (bits 0-1 address, 2-3 IOA, 4-5 cause, raw 0 to 3; bit 6: the
// confirmation is made a well-formed frame around the input's bytes; bit 7: the acknowledgement
// is made the fixed frame), bytes 1-2 the millisecond of the minute at the start, byte 3 the
// acknowledgement's start in 2 ms steps, byte 4 its length (bits 0-2) and the confirmation's
// piece length (bits 3-7, 0: unbroken), byte 5 the confirmation's start in 4 ms steps after the
// class 2 request is due, byte 6 the gap between pieces (bits 0-5, ms) and the clock's step per
// yield (bits 6-7); the rest is the acknowledgement followed by the confirmation.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "channel/serial_channel.h"
#include "iec101/ft12_frame.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"
#include "polling/transfer_delay.h"

namespace {

constexpr size_t kHeaderSize = 7;
constexpr uint16_t kLinkAddress = 1;
// 2024-03-13 12:00:00.000 UTC, a whole minute.
constexpr int64_t kMinuteStartMs = 1'710'331'200'000;
// The activation is followed by 350 ms of waiting before the acknowledgement is read.
constexpr uint64_t kAcknowledgementReadUs = 350'000;

// Aborts with the line of the broken rule.
void Require(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "%s:%d: rule broken\n", __FILE__, line);
        std::abort();
    }
}

// The length of the confirmation the master waits for.
size_t ConfirmationLength(const LinkConfig& lc) {
    return 11 + 2 * size_t{AddressBytes(lc.addressWidth)} + CauseBytes(lc.causeWidth) +
           IoaBytes(lc.ioaWidth);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) {
        return 0;
    }
    IecWidths widths;
    widths.address = data[0] & 3;
    widths.ioa = (data[0] >> 2) & 3;
    widths.cause = (data[0] >> 4) & 3;
    const LinkConfig lc = LinkConfig::FromWidths(widths);
    const bool wellFormed = (data[0] & 0x40) != 0;
    const bool fixedAck = (data[0] & 0x80) != 0;
    const uint32_t startMs = (data[1] | uint32_t{data[2]} << 8) % 60000;
    const uint64_t ackStartUs = uint64_t{data[3]} * 2000;
    const size_t ackLength = data[4] & 7;
    const size_t pieceLength = data[4] >> 3;
    const uint64_t confirmationStartUs = kAcknowledgementReadUs + uint64_t{data[5]} * 4000;
    const uint64_t gapUs = (uint64_t{data[6]} & 0x3F) * 1000;
    const uint64_t yieldUs = 250 * ((uint64_t{data[6]} >> 6) + 1);

    const std::span<const uint8_t> payload(data + kHeaderSize, size - kHeaderSize);
    const size_t ackTaken = std::min(ackLength, payload.size());
    std::vector<uint8_t> ack(payload.begin(),
                             payload.begin() + static_cast<std::ptrdiff_t>(ackTaken));
    std::vector<uint8_t> confirmation(payload.begin() + static_cast<std::ptrdiff_t>(ackTaken),
                                      payload.end());
    const size_t addressBytes = AddressBytes(lc.addressWidth);
    if (fixedAck) {
        ack = BuildFixedFrame(0x00, kLinkAddress, lc);
    }
    const size_t expected = ConfirmationLength(lc);
    size_t frameLength = 0;  // of the well-formed frame at the confirmation's start
    if (wellFormed) {
        // The input's bytes as the control field and the ASDU of a frame of the expected
        // length; what is left over follows the frame.
        const size_t asduLength = expected - 7 - addressBytes;
        std::vector<uint8_t> asdu(asduLength, 0);
        for (size_t i = 0; i < asduLength && i + 1 < confirmation.size(); ++i) {
            asdu[i] = confirmation[i + 1];
        }
        const uint8_t control = confirmation.empty() ? 0x08 : confirmation[0];
        std::vector<uint8_t> frame = BuildVariableFrame(control, kLinkAddress, lc, asdu);
        frameLength = frame.size();
        if (confirmation.size() > 1 + asduLength) {
            frame.insert(frame.end(),
                         confirmation.begin() + static_cast<std::ptrdiff_t>(1 + asduLength),
                         confirmation.end());
        }
        confirmation = std::move(frame);
    }

    VirtualClock clock(1'000'000, kMinuteStartMs + startMs, 180);
    clock.SetYieldStepUs(yieldUs);
    VirtualLine line(clock, "ttyV0");
    VirtualSerialDevice port(line);
    SerialChannel channel(port, clock);
    Iec101Results results;
    Iec101Master master(results);
    TransferDelayExchange exchange(channel, clock, master);
    Require(channel.OpenPort("ttyV0"));

    const LineSettings settings;
    const uint64_t t = clock.NowUs();
    if (!ack.empty()) {
        line.SendToProgram(ack, settings, t + ackStartUs);
    }
    if (pieceLength == 0) {
        line.SendToProgram(confirmation, settings, t + confirmationStartUs);
    } else {
        uint64_t start = t + confirmationStartUs;
        for (size_t at = 0; at < confirmation.size(); at += pieceLength) {
            const size_t n = std::min(pieceLength, confirmation.size() - at);
            const std::vector<uint8_t> piece(
                confirmation.begin() + static_cast<std::ptrdiff_t>(at),
                confirmation.begin() + static_cast<std::ptrdiff_t>(at + n));
            start = line.SendToProgram(piece, settings, start) + gapUs;
        }
    }

    const uint16_t delay = exchange.Acquire(kLinkAddress, lc);
    const uint64_t tookUs = clock.NowUs() - t;

    // The waits are bounded: 350 ms, the transmitter of the class 2 request and 500 ms of
    // reading, with a little for the frames and the last yields.
    Require(tookUs <= 1'100'000);
    // The arrival is at most a minute after the returned time: half of it at most.
    Require(delay < 30000);

    const uint64_t charUs = CharTimeMicroseconds(settings);
    const bool ackInTime = !ack.empty() &&
                           ackStartUs + ack.size() * charUs + charUs < kAcknowledgementReadUs &&
                           confirmationStartUs > kAcknowledgementReadUs;
    const size_t at = 7 + 2 * addressBytes + CauseBytes(lc.causeWidth) + IoaBytes(lc.ioaWidth);
    if (delay != 0) {
        // The line carried the acknowledgement's bytes, then the confirmation's. Only the fixed
        // acknowledgement frame, read alone, lets the measurement go on, and only a frame of
        // the expected length with its checksum and a time within the minute gives a delay.
        std::vector<uint8_t> stream = ack;
        stream.insert(stream.end(), confirmation.begin(), confirmation.end());
        const size_t ackBytes = addressBytes == 1 ? 5 : 6;
        Require(stream.size() >= ackBytes + expected);
        Require(stream[0] == 0x10 && stream[1] == 0x00);
        const std::span<const uint8_t> frame(stream.data() + ackBytes, expected);
        Require(frame[0] == 0x68 && frame[expected - 1] == 0x16);
        Require(FrameChecksum(frame.subspan(4, expected - 6)) == frame[expected - 2]);
        const uint32_t returned = frame[at] | uint32_t{frame[at + 1]} << 8;
        Require(returned != 0 && returned < 60000);
    }
    if (wellFormed && fixedAck && ackInTime && pieceLength == 0 &&
        confirmation.size() == frameLength) {
        // A well-formed confirmation that begins 12 ms to 400 ms after the class 2 request is
        // due is collected whole; its arrival is read within a few milliseconds of its first
        // byte.
        const uint64_t afterRequestUs = confirmationStartUs - kAcknowledgementReadUs;
        if (afterRequestUs >= 12'000 && afterRequestUs <= 400'000) {
            const uint32_t returned = confirmation[at] | uint32_t{confirmation[at + 1]} << 8;
            const uint32_t arrivalMs =
                static_cast<uint32_t>((startMs + (confirmationStartUs + charUs) / 1000) % 60000);
            if (returned == 0 || returned >= 60000) {
                Require(delay == 0);  // no time of the minute
            } else {
                const uint32_t span = (arrivalMs + 60000 - returned) % 60000;
                if (span >= 20 && span <= 59'000) {
                    const int expectedDelay = static_cast<int>(span / 2);
                    Require(std::abs(static_cast<int>(delay) - expectedDelay) <= 3);
                }
            }
        }
    }
    return 0;
}
