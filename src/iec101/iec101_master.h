// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "iec101/ft12_frame.h"
#include "iec101/iec101_types.h"

class SerialChannel;

// The unbalanced IEC 60870-5-101 master: the link services, the command frames, the receive
// step and the ASDU decoder, sharing one FCB alternation. It does not own the port: the caller
// hands it the open channel before every exchange. Decoded results go to the caller's
// Iec101Results record.
class Iec101Master {
  public:
    // Parameter index returned when an address is not in the list.
    static constexpr uint16_t kNoParameter = 0xFFFF;

    explicit Iec101Master(Iec101Results& results);
    Iec101Master(const Iec101Master&) = delete;
    Iec101Master& operator=(const Iec101Master&) = delete;

    // The port for the exchanges that follow.
    void SetPort(SerialChannel& port) { port_ = &port; }
    // The field widths the decoder reads ASDUs with.
    void SetWidths(const IecWidths& widths) { widths_ = widths; }
    const IecWidths& Widths() const { return widths_; }
    // The transducer's parameters in index order.
    void SetParameters(std::vector<IecParameter> parameters) {
        parameters_ = std::move(parameters);
    }
    const std::vector<IecParameter>& Parameters() const { return parameters_; }
    Iec101Results& Results() { return results_; }

    // Sets the value-set tables up: per parameter whether it counts as received already
    // (0xFF: not awaited) and whether it belongs to every complete set (0xFF), and a zeroed
    // value table of the given size (4 bytes per parameter). RestartExpectedSet begins a set.
    void PrepareValueSet(std::vector<uint8_t> receivedFlags, std::vector<uint8_t> expectedMask,
                         size_t valueTableBytes);
    // 16-bit values at 2n, 32-bit values at 4n, high byte first.
    const std::vector<uint8_t>& ValueTable() const { return valueTable_; }
    // 0xFF received in the current set or not awaited; 0 still awaited.
    const std::vector<uint8_t>& ReceivedFlags() const { return receivedFlags_; }
    const std::vector<uint8_t>& ExpectedMask() const { return expectedMask_; }

    // Link services. False when no port was given.
    // 10 49 A CS 16, 150 ms, then true for a lone E5 or a 5/6-byte answer with function 11.
    bool RequestLinkStatus(uint16_t linkAddress, const LinkConfig& config);
    // 10 40 A CS 16, 150 ms, then true for a lone E5 or a 5/6-byte answer with function 0.
    // Whatever the answer, the next FCB becomes 1.
    bool ResetRemoteLink(uint16_t linkAddress, const LinkConfig& config);
    // 10 5B/7B A CS 16 with the alternating FCB; with newRequest other than 1, 10 5B A CS 16
    // and the alternation untouched. Reads nothing.
    void RequestClass2Data(uint16_t linkAddress, const LinkConfig& config, int newRequest = 1);

    // Commands. Type 100 sends an interrogation (cause and group from config), any other type a
    // read command (type 102) with cause config.commandCause.
    void SendAsduCommand(uint16_t linkAddress, uint8_t type, uint32_t ioa,
                         const LinkConfig& config);
    // Waits for the start of a second on the clock (local time or UTC) and sends the clock
    // synchronisation with that reading.
    void SendClockSync(uint16_t linkAddress, const LinkConfig& config, bool useLocalTime);
    // The two delay acquisition frames, each taking the next FCB. The caller writes them.
    std::vector<uint8_t> BuildDelayActivation(uint16_t linkAddress, const LinkConfig& config,
                                              uint16_t sendTimeMs);
    std::vector<uint8_t> BuildDelayTransfer(uint16_t linkAddress, const LinkConfig& config,
                                            uint16_t delayMs);
    // Writes a frame to the port (nothing when no port was given).
    void WriteFrame(const std::vector<uint8_t>& frame);

    // Collects one answer from the port and classifies it (ClassifyAnswer). When a value set
    // has been completed, two zero bytes and the value table are appended to answer and the
    // table is zeroed.
    uint8_t ReceiveFrame(std::vector<uint8_t>& answer, const LinkConfig& config);
    // The classification and decoding of collected bytes, without a line.
    uint8_t ClassifyAnswer(std::span<const uint8_t> frame, std::vector<uint8_t>& answer,
                           const LinkConfig& config);

    // Decodes an ASDU (type identification first, nothing after its last byte) into the tables
    // and the results record. Returns the number of information objects decoded; objects that
    // the bytes do not hold completely are not decoded.
    size_t ParseAsdu(std::span<const uint8_t> asdu);
    // Index of the first parameter with the address, or kNoParameter.
    uint16_t FindParameterIndex(uint32_t ioa) const;
    // Starts a new value set: expected parameters awaited, the others marked received; when no
    // parameter is expected, all are awaited.
    void RestartExpectedSet();

    // The FCB the next frame with FCV set will carry (0 or 1).
    uint8_t NextFcb() const { return nextFcb_; }

  private:
    // Tells the port's traffic recorder that FT1.2 frames of the master's widths follow.
    void NoteFrameKind();
    // The FCB for a frame being built; flips the alternation.
    uint8_t TakeFcb();
    bool AnswerHasFunction(uint16_t linkAddress, const LinkConfig& config, uint8_t control,
                           uint8_t function);
    void CheckSetComplete();

    Iec101Results& results_;
    SerialChannel* port_ = nullptr;
    IecWidths widths_;
    std::vector<IecParameter> parameters_;
    std::vector<uint8_t> valueTable_;
    std::vector<uint8_t> receivedFlags_;
    std::vector<uint8_t> expectedMask_;
    uint8_t nextFcb_ = 0;
};

// The message shown for a bad receive result of an interrogation, clock synchronisation or
// delay measurement exchange.
std::string Iec101ResultMessage(uint8_t code);
