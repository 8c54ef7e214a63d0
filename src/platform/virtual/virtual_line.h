// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/line_settings.h"
#include "platform/serial_device.h"
#include "platform/virtual/virtual_clock.h"

// One byte on the virtual line: when its last bit has arrived, and its value.
struct TimedByte {
    uint64_t timeUs = 0;
    uint8_t value = 0;
};

// The far end of a virtual line: a simulated transducer or a scripted test device.
class LinePeer {
  public:
    virtual ~LinePeer() = default;
    // Bytes the program wrote, each with its arrival time, all sent at the given settings.
    // Called at the moment of the write; the arrival times may lie in the (virtual) future.
    virtual void OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) = 0;
    // Virtual time has advanced to nowUs.
    virtual void OnTime(uint64_t /*nowUs*/) {}
};

// A serial line in virtual time between the program's port and a LinePeer. Bytes travel at the
// speed of the settings they were sent at, and arrive a propagation delay after they were sent
// (0 unless set: a long cable, a modem or radio link). A byte whose sender's settings (baud rate,
// data bits, parity) differ from the receiver's is garbled on arrival, as a real UART would
// misread it.
class VirtualLine {
  public:
    VirtualLine(VirtualClock& clock, std::string portName);
    ~VirtualLine();
    VirtualLine(const VirtualLine&) = delete;
    VirtualLine& operator=(const VirtualLine&) = delete;

    void AttachPeer(LinePeer* peer) { peer_ = peer; }
    const std::string& PortName() const { return portName_; }
    VirtualClock& GetClock() { return clock_; }

    // The peer sends bytes, starting no earlier than startUs (and after its previous bytes);
    // returns the arrival time of the last byte at the program.
    uint64_t SendToProgram(const std::vector<uint8_t>& bytes, const LineSettings& sentAt,
                           uint64_t startUs);
    // Convenience: starting now.
    uint64_t SendToProgram(const std::vector<uint8_t>& bytes, const LineSettings& sentAt);
    // Drops whatever the peer has sent that the program has not read yet.
    void ClearToProgram() { toProgram_.clear(); }

    // The program side's state, as the peer might sense it.
    bool ProgramPortOpen() const { return programOpen_; }
    const LineSettings& ProgramSettings() const { return programSettings_; }

    // The one-way propagation delay, the same in both directions. Sending ends as before (the
    // program's transmit buffer empties at the same moment); only the arrivals move.
    void SetPropagationDelayUs(uint64_t microseconds) { propagationUs_ = microseconds; }
    uint64_t PropagationDelayUs() const { return propagationUs_; }

    // Fault controls: a vanished port (open fails; reads give nothing, writes fail while open).
    void SetPresent(bool present) { present_ = present; }
    bool Present() const { return present_; }
    // The program's opens fail with this reason (held by another program, not permitted, ...)
    // until it is given kNone again.
    void RefuseOpen(OpenFailure failure) { refusal_ = std::move(failure); }

    // Statistics for tests.
    uint64_t BytesFromProgram() const { return bytesFromProgram_; }
    uint64_t OpenCount() const { return openCount_; }
    // Every write of the program, in order, with its settings and start time.
    struct Write {
        uint64_t timeUs;
        LineSettings settings;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Write>& Writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }

  private:
    friend class VirtualSerialDevice;

    struct Pending {
        TimedByte byte;
        LineSettings sentAt;
    };

    // Program-side operations, used by VirtualSerialDevice.
    bool ClaimForProgram(const std::string& name);
    void ReleaseFromProgram();
    void SetProgramSettings(const LineSettings& s) { programSettings_ = s; }
    size_t ArrivedCount() const;
    size_t TakeArrived(uint8_t* buffer, size_t maxCount);
    bool WriteFromProgram(const uint8_t* data, size_t count);
    uint64_t ProgramTransmitEndUs() const { return programTxEndUs_; }

    static uint8_t Garble(uint8_t value);
    static bool SameFraming(const LineSettings& a, const LineSettings& b);

    VirtualClock& clock_;
    std::string portName_;
    int listenerId_ = 0;
    LinePeer* peer_ = nullptr;
    std::deque<Pending> toProgram_;
    uint64_t peerTxEndUs_ = 0;
    uint64_t propagationUs_ = 0;
    // Arrivals at the program stay in order when the delay is changed.
    uint64_t lastArrivalToProgramUs_ = 0;
    uint64_t programTxEndUs_ = 0;
    bool programOpen_ = false;
    bool present_ = true;
    OpenFailure refusal_;
    LineSettings programSettings_;
    uint64_t bytesFromProgram_ = 0;
    uint64_t openCount_ = 0;
    std::vector<Write> writes_;
};

// The program's SerialDevice on a VirtualLine.
class VirtualSerialDevice : public SerialDevice {
  public:
    explicit VirtualSerialDevice(VirtualLine& line) : line_(line) {}
    ~VirtualSerialDevice() override { Close(); }

    // Fails as the line refuses it, as held when the program side is open already, and as
    // missing when the line is not present or has another name.
    bool Open(const std::string& portName) override;
    OpenFailure LastOpenFailure() const override { return lastOpenFailure_; }
    void Close() override;
    bool IsOpen() const override { return open_; }
    bool GetLine(LineSettings& settings) override;
    bool SetLine(const LineSettings& settings) override;
    size_t QueuedCount() override;
    size_t Read(uint8_t* buffer, size_t maxCount) override;
    bool Write(const uint8_t* data, size_t count) override;
    bool WaitTransmitEmpty(uint32_t timeoutMs) override;

  private:
    VirtualLine& line_;
    bool open_ = false;
    OpenFailure lastOpenFailure_;
};
