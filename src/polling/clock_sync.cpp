// Setting the transducer's clock from the computer's clock, and the RTC test mode.

#include <algorithm>
#include <array>

#include "catalogue/number_text.h"
#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"
#include "polling/polling_controller.h"

namespace {

constexpr const char* kRtcCaption = "RTC test";
constexpr const char* kLinkError = "Ошибка связи";
constexpr const char* kSyncError = "Ошибка при синхронизации часов";
constexpr const char* kRtcError = "Ошибка при запуске режима проверки RTC";

// The echo of a register write: every byte after address and function equals, in order, the
// start register (high byte first) followed by the record. Two bytes or fewer pass.
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

}  // namespace

uint32_t PollingController::ClockRegister() const {
    uint32_t address = 0;
    for (size_t i = 0; i < config_.parameterNames.size(); ++i) {
        if (config_.parameterNames[i].find("tms") != std::string::npos &&
            i < config_.parameterAddresses.size()) {
            address = config_.parameterAddresses[i];  // the last one counts
        }
    }
    return address;
}

std::string PollingController::PortMessage() const {
    if (channel_.portName == "НЕТ") {
        return "Не выбран COM порт";
    }
    if (channel_.portName == "NO") {
        return "COM port not selected";
    }
    return "Не могу открыть " + channel_.portName;
}

std::vector<uint8_t> PollingController::ModbusTimeRecord() {
    // The reading used is one taken in the first 10 ms of a second.
    SystemTime t = localTime_ ? clock_.LocalTime() : clock_.UtcTime();
    while (t.milliseconds > 10) {
        clock_.Yield();
        t = localTime_ ? clock_.LocalTime() : clock_.UtcTime();
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

void PollingController::OnSyncClock() {
    if (guard_.DeferDuringTick([this] { OnSyncClock(); })) {
        return;
    }
    if (variant_.syncShowsStatus) {
        SetStatus("Синхронизация RTC");
    }
    if (config_.timeSupport == 0) {
        Notify("Выбранная конфигурация не поддерживает время", kErrorCaption, MessageIcon::kNone);
        return;  // polling goes on
    }
    view_.KillTimer();
    timerArmed_ = false;
    clock_.Sleep(pollPeriod_);
    const uint32_t timeRegister = ClockRegister();
    const ExchangeMode mode = config_.ExchangeMode;
    const bool exchanges = mode == ExchangeMode::kModbusAscii || mode == ExchangeMode::kModbusRtu ||
                           mode == ExchangeMode::kIec101;
    if (exchanges && !channel_.IsOpen()) {
        Notify(PortMessage(), kErrorCaption, MessageIcon::kNone);
        return;  // the poll timer stays stopped
    }
    std::vector<uint8_t> scratch;
    channel_.ReceiveAsciiAnswer(scratch);

    switch (mode) {
        case ExchangeMode::kModbusAscii:
        case ExchangeMode::kModbusAsciiClock:
            SyncClockOverModbus(true, timeRegister);
            break;
        case ExchangeMode::kModbusRtu:
            SyncClockOverModbus(false, timeRegister);
            break;
        case ExchangeMode::kIec101:
            SyncClockOverIec();
            break;
        case ExchangeMode::kIec101Prepared:
            view_.ArmTimer(pollPeriod_);
            timerArmed_ = true;
            break;
        default:
            Notify(kLinkError, kErrorCaption, MessageIcon::kNone);
            OnStart();
            break;
    }
}

void PollingController::SyncClockOverModbus(bool ascii, uint32_t timeRegister) {
    const std::vector<uint8_t> record = ModbusTimeRecord();
    const auto start = static_cast<uint16_t>(timeRegister & 0xFFFF);
    std::vector<uint8_t> answer;
    uint8_t r = 0;
    if (ascii) {
        channel_.SendAsciiRequest(1, kFunctionWriteRegisters, start, &record);
        clock_.Sleep(500);
        r = channel_.ReceiveAsciiAnswer(answer);
    } else {
        channel_.SendRtuRequest(1, kFunctionWriteRegisters, start, &record);
        clock_.Sleep(350);
        r = channel_.ReceiveRtuAnswer(answer);
    }
    if (r != kModbusValid) {
        Notify(ascii ? kLinkError : kSyncError, kErrorCaption, MessageIcon::kNone);
    } else if (!EchoMatches(answer, start, record)) {
        Notify(kSyncError, kErrorCaption, MessageIcon::kNone);
    }
    OnStart();
}

void PollingController::OnRtcTest() {
    if (guard_.DeferDuringTick([this] { OnRtcTest(); })) {
        return;
    }
    OnStop();
    std::vector<uint8_t> scratch;
    channel_.ReceiveAsciiAnswer(scratch);
    if (!channel_.IsOpen() && !channel_.OpenPort(channel_.portName)) {
        Notify("Нет доступа к " + channel_.portName, kErrorCaption, MessageIcon::kNone);
        channel_.ClosePort();
        return;
    }
    if (channel_.ScanLinkSettings() == SerialChannel::kNotHeard &&
        channel_.ScanLinkSettings() == SerialChannel::kNotHeard) {
        Notify(kRtcError, kRtcCaption, MessageIcon::kExclamation);
        channel_.ClosePort();
        return;
    }
    const std::vector<uint8_t> access(kRtcTestAccessValue.begin(), kRtcTestAccessValue.end());
    channel_.SendRtuRequest(static_cast<uint8_t>(config_.linkAddress & 0xFF), kFunctionRtcTest, 0,
                            &access);
    clock_.Sleep(500);
    scratch.clear();
    const uint8_t r = channel_.ReceiveRtuAnswer(scratch);
    if (r == kModbusValid && scratch.size() >= 2 && scratch[1] == kFunctionRtcTest) {
        Notify("Запущен режим проверки RTC", kRtcCaption, MessageIcon::kNone);
    } else {
        Notify(kRtcError, kRtcCaption, MessageIcon::kExclamation);
    }
    channel_.ClosePort();
}
