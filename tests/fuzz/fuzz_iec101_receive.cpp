// SPDX-License-Identifier: MIT
// Arbitrary bytes on the line to the IEC-101 master's ReceiveFrame, in virtual time: the
// collection, the classification and the ASDU decoder behind it, with the field widths, the
// parameter list, the expected mask and the timing of the bytes taken from the input's first
// bytes. Each receive must agree with the classification of exactly the bytes it collected
// (done by a twin master without a line), never grow the tables, and hand over a value set only
// as two zero bytes followed by the whole table.
//
// Input: byte 0 widths (bits 0-1 address, 2-3 IOA, 4-5 cause, each raw 0 to 3; bit 6: the line
// delivers the bytes in pieces; bit 7: the receive is told the other address width than the
// decoder), byte 1 number of parameters (bits 0-5), byte 2 the pieces (bits 0-3 length - 1,
// bits 4-7 gap in 4 ms steps), bytes 3-4 the first parameter's IOA, byte 5 the IOA step (bits
// 0-1, plus 1) and the expected pattern (bits 2-7, repeating); the rest goes on the line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "channel/serial_channel.h"
#include "iec101/iec101_master.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"

namespace {

constexpr size_t kHeaderSize = 6;
void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The virtual port, counting what the master reads, so that the bytes one receive collected
// are known.
class CountingDevice : public SerialDevice {
  public:
    explicit CountingDevice(VirtualLine& line) : inner_(line) {}
    bool Open(const std::string& portName) override { return inner_.Open(portName); }
    void Close() override { inner_.Close(); }
    bool IsOpen() const override { return inner_.IsOpen(); }
    bool GetLine(LineSettings& settings) override { return inner_.GetLine(settings); }
    bool SetLine(const LineSettings& settings) override { return inner_.SetLine(settings); }
    size_t QueuedCount() override { return inner_.QueuedCount(); }
    size_t Read(uint8_t* buffer, size_t maxCount) override {
        const size_t n = inner_.Read(buffer, maxCount);
        Require(n <= maxCount);
        bytesRead += n;
        return n;
    }
    bool Write(const uint8_t* data, size_t count) override { return inner_.Write(data, count); }
    bool WaitTransmitEmpty(uint32_t timeoutMs) override {
        return inner_.WaitTransmitEmpty(timeoutMs);
    }

    size_t bytesRead = 0;

  private:
    VirtualSerialDevice inner_;
};

struct Setup {
    IecWidths widths;
    LinkConfig link;
    std::vector<IecParameter> parameters;
    std::vector<uint8_t> expectedMask;
};

void Prepare(Iec101Master& master, const Setup& setup) {
    master.SetWidths(setup.widths);
    master.SetParameters(setup.parameters);
    master.PrepareValueSet(std::vector<uint8_t>(setup.parameters.size(), 0), setup.expectedMask,
                           4 * setup.parameters.size());
    master.RestartExpectedSet();
}

bool KnownCode(uint8_t code) {
    return code <= 7 || code == kReceiveSingleAck || code == kReceiveUnexpected ||
           (code >= 44 && code <= 47);
}

// What can be said of a code from the collected bytes alone.
void CheckCode(std::span<const uint8_t> frame, uint8_t code) {
    const size_t n = frame.size();
    if (n == 0) {
        Require(code == kReceiveNothing);
    } else if (n == 1) {
        Require(code == (frame[0] == kSingleAck ? kReceiveSingleAck : kReceiveShort));
    } else if (n < 5) {
        Require(code == kReceiveShort);
    } else if (frame[0] != kFixedStart && frame[0] != kVariableStart) {
        Require(code == kReceiveBadStart);
    } else if (frame[0] == kFixedStart || frame[4] == kUserDataControl) {
        // Outside a variable frame with function 1 or 9 the code is one of the table's.
        Require(KnownCode(code) && code != kReceiveSingleAck);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) {
        return 0;
    }
    Setup setup;
    setup.widths.address = data[0] & 3;
    setup.widths.ioa = (data[0] >> 2) & 3;
    setup.widths.cause = (data[0] >> 4) & 3;
    const bool inPieces = (data[0] & 0x40) != 0;
    setup.link = LinkConfig::FromWidths(setup.widths);
    if ((data[0] & 0x80) != 0) {
        setup.link.addressWidth = AddressBytes(setup.widths.address) == 1 ? 2 : 1;
    }
    const size_t parameterCount = data[1] & 0x3F;
    const size_t pieceLength = (data[2] & 0x0F) + 1u;
    const uint64_t gapUs = uint64_t{data[2]} / 16 * 4000;
    uint32_t ioa = data[3] | uint32_t{data[4]} << 8;
    const uint32_t step = (data[5] & 3) + 1u;
    const uint8_t pattern = data[5] >> 2;
    for (size_t i = 0; i < parameterCount; ++i, ioa += step) {
        setup.parameters.push_back({"p" + std::to_string(i), ioa});
        setup.expectedMask.push_back((pattern >> (i % 6) & 1) != 0 ? 0xFF : 0);
    }
    const std::span<const uint8_t> payload(data + kHeaderSize, size - kHeaderSize);

    VirtualClock clock;
    VirtualLine line(clock, "ttyV0");
    CountingDevice device(line);
    SerialChannel channel(device, clock);
    Require(channel.OpenPort("ttyV0"));
    Iec101Results results;
    Iec101Master master(results);
    master.SetPort(channel);
    Prepare(master, setup);
    // The twin classifies the same bytes without a line.
    Iec101Results twinResults;
    Iec101Master twin(twinResults);
    Prepare(twin, setup);

    const LineSettings settings;
    if (!inPieces) {
        line.SendToProgram({payload.begin(), payload.end()}, settings);
    } else {
        uint64_t start = clock.NowUs();
        for (size_t at = 0; at < payload.size(); at += pieceLength) {
            const size_t n = std::min(pieceLength, payload.size() - at);
            const auto piece = payload.subspan(at, n);
            start = line.SendToProgram({piece.begin(), piece.end()}, settings, start) + gapUs;
        }
    }

    // Pieces are at most 60 ms apart and a receive listens 75 ms before it finds nothing, so
    // each receive takes at least one byte until all are in. An empty line is received once.
    size_t taken = 0;
    for (size_t receive = 0; receive == 0 || taken < payload.size(); ++receive) {
        std::vector<uint8_t> answer;
        std::vector<uint8_t> twinAnswer;
        const size_t before = device.bytesRead;
        const uint8_t code = master.ReceiveFrame(answer, setup.link);
        const size_t collected = device.bytesRead - before;
        Require(collected <= kReceiveBufferSize);
        if (!inPieces && receive == 0) {
            // One unbroken stream: the first receive takes it all, up to its buffer.
            Require(collected == std::min(payload.size(), kReceiveBufferSize));
        }
        Require(collected > 0 || payload.empty());
        const auto frame = payload.subspan(taken, collected);
        taken += collected;

        CheckCode(frame, code);
        Require(twin.ClassifyAnswer(frame, twinAnswer, setup.link) == code);
        Require(answer == twinAnswer);
        Require(master.ValueTable() == twin.ValueTable());
        Require(master.ReceivedFlags() == twin.ReceivedFlags());
        Require(results.asduTime == twinResults.asduTime);
        Require(results.lastCause == twinResults.lastCause);
        Require(results.lastType == twinResults.lastType);
        Require(results.valueType == twinResults.valueType);

        Require(master.ValueTable().size() == 4 * parameterCount);
        Require(master.ReceivedFlags().size() == parameterCount);
        Require(master.ExpectedMask() == setup.expectedMask);
        if (results.setComplete) {
            // The set is handed over whole and the table starts again from zero.
            Require(answer.size() == 2 + master.ValueTable().size());
            Require(answer[0] == 0 && answer[1] == 0);
            Require(std::all_of(master.ValueTable().begin(), master.ValueTable().end(),
                                [](uint8_t b) { return b == 0; }));
            results.setComplete = false;
            twinResults.setComplete = false;
        } else {
            Require(answer.empty());
        }
    }
    return 0;
}
