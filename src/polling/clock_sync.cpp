// SPDX-License-Identifier: MIT
// The commands that set the transducer's clock and start its RTC test mode: what the user is
// told and how polling goes on (the exchanges are in clock_procedures).

#include <algorithm>
#include <array>

#include "catalogue/number_text.h"
#include "channel/modbus_frame.h"
#include "polling/clock_procedures.h"
#include "polling/polling_controller.h"

namespace {

constexpr const char* kRtcCaption = "RTC test";
constexpr const char* kLinkError = "Ошибка связи";
constexpr const char* kSyncError = "Ошибка при синхронизации часов";
constexpr const char* kRtcError = "Ошибка при запуске режима проверки RTC";

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
    channel_.Traffic().SetPhase(TrafficPhase::kClockSync);
    clock_.Sleep(pollPeriod_);
    const uint32_t timeRegister = ClockRegister();
    const ExchangeMode mode = config_.ExchangeMode;
    const bool exchanges = mode == ExchangeMode::kModbusAscii || mode == ExchangeMode::kModbusRtu ||
                           mode == ExchangeMode::kIec101;
    if (exchanges && !channel_.IsOpen()) {
        Notify(PortMessage(), kErrorCaption, MessageIcon::kNone);
        return;  // the poll timer stays stopped
    }
    channel_.DiscardAnswer();

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
    const ModbusClockSetting setting = SetClockOverModbus(
        channel_, clock_, ascii, static_cast<uint16_t>(timeRegister & 0xFFFF), localTime_);
    if (setting.result != kModbusValid) {
        Notify(ascii ? kLinkError : kSyncError, kErrorCaption, MessageIcon::kNone);
    } else if (!setting.echoMatches) {
        Notify(kSyncError, kErrorCaption, MessageIcon::kNone);
    }
    OnStart();
}

void PollingController::OnRtcTest() {
    if (guard_.DeferDuringTick([this] { OnRtcTest(); })) {
        return;
    }
    OnStop();
    channel_.Traffic().SetPhase(TrafficPhase::kRtcTest);
    switch (StartRtcTestMode(channel_, clock_, PollSlaveAddress())) {
        case RtcTestStart::kNoAccess:
            Notify("Нет доступа к " + channel_.portName, kErrorCaption, MessageIcon::kNone);
            break;
        case RtcTestStart::kStarted:
            Notify("Запущен режим проверки RTC", kRtcCaption, MessageIcon::kNone);
            break;
        case RtcTestStart::kNotHeard:
        case RtcTestStart::kRefused:
            Notify(kRtcError, kRtcCaption, MessageIcon::kExclamation);
            break;
    }
    channel_.ClosePort();
}
