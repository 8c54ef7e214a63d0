// SPDX-License-Identifier: MIT
#include "polling/clock_procedures.h"

#include <algorithm>

#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"

std::vector<uint8_t> ModbusTimeRecord(Clock& clock, bool localTime) {
    // The reading used is one taken in the first 10 ms of a second.
    SystemTime t = localTime ? clock.LocalTime() : clock.UtcTime();
    while (t.milliseconds > 10) {
        clock.Yield();
        t = localTime ? clock.LocalTime() : clock.UtcTime();
    }
    const unsigned msOfMinute = t.second * 1000u + t.milliseconds;
    const unsigned dayOfWeek = t.dayOfWeek == 0 ? 7u : t.dayOfWeek;  // Monday 1 .. Sunday 7
    return {0x00,
            0x04,
            0x08,
            static_cast<uint8_t>(msOfMinute >> 8),
            static_cast<uint8_t>(msOfMinute),
            static_cast<uint8_t>(t.hour),
            static_cast<uint8_t>(t.minute),
            static_cast<uint8_t>(t.month),
            static_cast<uint8_t>((dayOfWeek << 5) | (t.day & 0x1F)),
            0x00,
            static_cast<uint8_t>((t.year - 2000) % 256)};
}

bool EchoMatches(const std::vector<uint8_t>& answer, uint16_t start,
                 const std::vector<uint8_t>& record) {
    std::vector<uint8_t> expected = {static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start)};
    expected.insert(expected.end(), record.begin(), record.end());
    if (answer.size() <= 2) {
        return true;
    }
    if (answer.size() - 2 > expected.size()) {
        return false;
    }
    return std::equal(answer.begin() + 2, answer.end(), expected.begin());
}

ModbusClockSetting SetClockOverModbus(SerialChannel& channel, Clock& clock, bool ascii,
                                      uint16_t timeRegister, bool localTime) {
    const std::vector<uint8_t> record = ModbusTimeRecord(clock, localTime);
    std::vector<uint8_t> answer;
    ModbusClockSetting setting;
    if (ascii) {
        channel.SendAsciiRequest(1, kFunctionWriteRegisters, timeRegister, &record);
        clock.Sleep(500);
        setting.result = channel.ReceiveAsciiAnswer(answer);
    } else {
        channel.SendRtuRequest(1, kFunctionWriteRegisters, timeRegister, &record);
        clock.Sleep(350);
        setting.result = channel.ReceiveRtuAnswer(answer);
    }
    setting.echoMatches = EchoMatches(answer, timeRegister, record);
    return setting;
}

IecClockSetting SetClockOverIec(Iec101Master& master, SerialChannel& channel, Clock& clock,
                                const LinkConfig& config, bool localTime) {
    IecClockSetting setting;
    master.SetPort(channel);
    setting.linkAnswered = master.RequestLinkStatus(1, config);
    if (!setting.linkAnswered) {
        return setting;
    }
    setting.linkReset = master.ResetRemoteLink(1, config);
    if (!setting.linkReset) {
        return setting;
    }
    master.SendClockSync(1, config, localTime);
    clock.Sleep(350);
    std::vector<uint8_t> scratch;
    setting.confirmation = master.ReceiveFrame(scratch, config);
    master.RequestClass2Data(1, config);
    clock.Sleep(350);
    scratch.clear();
    setting.afterConfirmation = master.ReceiveFrame(scratch, config);
    return setting;
}

RtcTestStart StartRtcTestMode(SerialChannel& channel, Clock& clock, uint8_t slaveAddress) {
    channel.DiscardAnswer();
    if (!channel.IsOpen() && !channel.OpenPort(channel.portName)) {
        return RtcTestStart::kNoAccess;
    }
    if (channel.ScanLinkSettings() == SerialChannel::kNotHeard &&
        channel.ScanLinkSettings() == SerialChannel::kNotHeard) {
        return RtcTestStart::kNotHeard;
    }
    const std::vector<uint8_t> access(kRtcTestAccessValue.begin(), kRtcTestAccessValue.end());
    channel.SendRtuRequest(slaveAddress, kFunctionRtcTest, 0, &access);
    clock.Sleep(500);
    std::vector<uint8_t> scratch;
    const uint8_t r = channel.ReceiveRtuAnswer(scratch);
    const bool confirmed =
        r == kModbusValid && scratch.size() >= 2 && scratch[1] == kFunctionRtcTest;
    return confirmed ? RtcTestStart::kStarted : RtcTestStart::kRefused;
}
