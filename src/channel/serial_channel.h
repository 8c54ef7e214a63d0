// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "channel/port_list.h"
#include "channel/traffic_recorder.h"
#include "platform/clock.h"
#include "platform/device_names.h"
#include "platform/line_settings.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"

// The one serial port through which the programs talk to the transducer: opened by name, set
// from a mode string ("19200,E,8,1"), read without waiting, written in blocks. On it are built the
// Modbus exchanges (a send that returns at once, a receive that collects what has arrived) and
// the link-settings scan that wakes a transducer of unknown settings. The IEC 60870-5-101 master
// uses the same open port.
class SerialChannel {
  public:
    // One Modbus answer is collected into at most this many bytes.
    static constexpr size_t kCollectionBufferSize = 5000;
    // The link-settings scan reads into a buffer of this size.
    static constexpr size_t kScanBufferSize = 4096;
    // ScanLinkSettings and ProbeAnswer: the transducer was not heard.
    static constexpr uint16_t kNotHeard = 0xFFFF;
    // The line at which the scan listens and the configuration is read.
    static constexpr const char* kListeningMode = "19200,E,8,1";

    SerialChannel(SerialDevice& device, Clock& clock);
    ~SerialChannel();
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    // Opens the port (a name of the port list opens the path found for it, any other name is
    // given to the device as it is); does not close one already open and does not touch the
    // line settings.
    bool OpenPort(const std::string& name);
    void ClosePort();
    bool IsOpen() const { return device_.IsOpen(); }
    // Why the last OpenPort failed.
    OpenFailure LastOpenFailure() const { return device_.LastOpenFailure(); }

    // Reads the port's settings, applies the mode string to them and sets the port.
    // False when the port is not open (checked before the string) or rejects the settings.
    // Throws std::invalid_argument for a string with fewer than two commas.
    bool ApplyMode(const std::string& modeString);
    // Applies the mode string of a link-settings byte (see ModeStringFromLinkSettingsByte).
    bool ApplyLinkSettingsByte(uint8_t linkSettingsByte);

    // Reads every queued byte, at most capacity of them, without waiting. 0 when none or on error.
    // Bytes beyond capacity stay queued for the next read.
    size_t ReadAvailable(uint8_t* buffer, size_t capacity);
    // Writes the block in one write.
    bool WriteBytes(const uint8_t* data, size_t count);
    // Collects an answer's bytes with the receive timing and throws them away: empties the line
    // before an exchange.
    void DiscardAnswer();
    // Waits until the transmitter is empty, at most timeoutMs.
    bool WaitTransmitEmpty(uint32_t timeoutMs) { return device_.WaitTransmitEmpty(timeoutMs); }

    // Modbus requests: build the frame and write it in one block; no wait, no result (a request
    // that did not go out simply gets no answer). data may be nullptr (no data block).
    void SendRtuRequest(uint8_t address, uint8_t function, uint16_t startRegister,
                        const std::vector<uint8_t>* data);
    void SendAsciiRequest(uint8_t address, uint8_t function, uint16_t startRegister,
                          const std::vector<uint8_t>* data);
    // Modbus answers: collect what the line delivers (a read; 50 ms more when it was empty; then
    // 25 ms reads until one is empty), at most kCollectionBufferSize bytes, check and decode it
    // and append to answer (emptied by the caller). Return the result code (kModbusValid, ...).
    uint8_t ReceiveRtuAnswer(std::vector<uint8_t>& answer);
    uint8_t ReceiveAsciiAnswer(std::vector<uint8_t>& answer);

    // Wakes the transducer: at each of nine candidate settings three zero bytes are sent, then
    // the port listens at kListeningMode; stops at the first answer. Returns the answer's
    // 16-bit tail value, or kNotHeard. The port is left at kListeningMode.
    uint16_t ScanLinkSettings();
    // Three single zero bytes, 0, 75 and 275 ms after the call, at the current settings.
    void SendWakeUp();
    // One probe: the wake-up at the current settings, then listening at kListeningMode.
    // buffer is the scan buffer; returns the tail value or kNotHeard.
    uint16_t ProbeAnswer(std::span<uint8_t> buffer);

    Clock& GetClock() { return clock_; }
    // Every byte written and read through this channel, grouped into frames.
    TrafficRecorder& Traffic() { return traffic_; }
    const TrafficRecorder& Traffic() const { return traffic_; }
    // The settings as last read from the port and then modified by ApplyMode (also when the
    // port rejected them).
    const LineSettings& lineSettings() const { return lineSettings_; }

    // The remembered port and the ports present, once at start: portName as stored (or the
    // default), portList as found (see port_list.h).
    void LoadPortSettings(SettingsStore& store, DeviceNames& devices);
    // The port list read again when the user opens it: portList as found now (a port that has
    // gone keeps its path); portName and the remembered port stay as they are.
    DescribedPortList RefreshPortList(DeviceNames& devices);
    // Remembers portName for the next start, of this program or the other.
    void SavePortSetting(SettingsStore& store);

    // The port chosen by the user, as the port list shows it ("ttyUSB0", "НЕТ" for none).
    std::string portName = "COM1";
    // The ports found at start, in ascending order of their number, then the published ones.
    std::vector<std::string> portList;

  private:
    // Collects one answer's bytes with the receive timing.
    std::vector<uint8_t> CollectAnswer();

    SerialDevice& device_;
    Clock& clock_;
    LineSettings lineSettings_;
    TrafficRecorder traffic_;
    // The path to open for each name of portList.
    std::map<std::string, std::string> portPaths_;
};
