// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/model_catalogue.h"
#include "catalogue/poll_groups.h"
#include "catalogue/transducer_config.h"
#include "channel/serial_channel.h"
#include "iec101/iec101_master.h"
#include "log/measurement_log.h"
#include "platform/clock.h"
#include "platform/file_sink.h"
#include "polling/dialog_view.h"
#include "polling/iec101_poll_session.h"
#include "polling/measurement_display.h"
#include "polling/messages.h"
#include "polling/poll_kind.h"
#include "polling/program_variant.h"
#include "polling/reentrancy_guard.h"

// The entries of the parameter dialog: the parameters whose value width matches the
// configuration's, clock registers left out, each under its display caption.
std::vector<ParameterChoice> ParameterChoicesOf(const TransducerConfig& config);

// The main window's logic: the polling state and the handlers of its commands and of the poll
// timer. It reaches the window only through DialogView and time only through Clock, so that
// the same code runs in the Qt window and, in virtual time, in the tests.
class PollingController : private IecSessionHost {
  public:
    PollingController(const ProgramVariant& variant, DialogView& view, SerialChannel& channel,
                      Clock& clock, FileSystem& files);

    // The initial state of the window: texts, captions, frames, enabled controls.
    void OnInitDialog();
    // "Старт": reads the configuration when none is held, changes the transducer over to its
    // own line settings, sends the first request and arms the poll timer. Also the restart of
    // polling after the clock synchronisation and the delay measurement.
    void OnStart();
    // "Стоп": back to idle. Safe in any state, also inside a running Start.
    void OnStop();
    // The poll timer (id 1); other ids are ignored.
    void OnTimer(int timerId);
    // The time-base list changed: true for local time, false for UTC.
    void OnTimeBaseChanged(bool localTime);
    // "Синхронизировать часы" / "Синхронизировать RTC": sets the transducer's clock from the
    // computer's clock over the protocol it is polled with, then restarts polling.
    void OnSyncClock();
    // "Проверка RTC": stops polling and puts the transducer into its clock test mode.
    void OnRtcTest();
    // "Определение запаздывания": measures the line's transfer delay to an IEC-101 transducer.
    void OnMeasureDelay();
    // The data-format switch: physical units or raw codes.
    void OnDataFormat();

    // State, for the window and the tests.
    bool IsPolling() const { return timerArmed_; }
    bool IsStarting() const { return guard_.Starting(); }
    bool configReadDone() const { return configReadDone_; }
    const TransducerConfig& config() const { return config_; }
    const PollPlan& pollPlan() const { return plan_; }
    const Panel& panel() const { return panel_; }
    uint32_t pollPeriod() const { return pollPeriod_; }
    uint16_t tickCounter() const { return tickCounter_; }
    ::ExchangeMode exchangeMode() const { return config_.ExchangeMode; }
    const MeasurementLog& log() const { return log_; }
    const std::vector<uint8_t>& answer() const { return answer_; }
    const Iec101Master& iecMaster() const { return iec_.Master(); }
    const std::string& delayText() const { return delayText_; }
    uint8_t clockStaleCount() const { return clockStaleCount_; }

  private:
    // One tick in two halves (the first request is sent by Start).
    uint8_t CollectPollAnswer();
    void SendPollRequest();

    enum class ConfigReadResult { kRead, kFailed, kCancelled };
    ConfigReadResult ReadConfiguration();

    struct StartAborted {};
    struct TickAborted {};
    struct PendingMessage {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    void RunStart();
    // Start's steps: the settings taken from the window (log file, period, poll kind), and
    // the port opened at the transducer's own settings with the first request.
    void TakeStartSettings();
    void StartExchanging();
    void RunTick();
    // A message box. One raised inside a tick is shown after the tick has ended, so that the
    // ticks go on while it stays open.
    void Notify(const std::string& text, const std::string& caption, MessageIcon icon);
    void ShowPendingMessages();
    // Dispatches the window's events for the given time in short steps (with the poll timer's
    // ticks held back when holdTimer is set); false as soon as a Stop has arrived, true when
    // the time has passed.
    bool PumpUntil(uint32_t milliseconds, bool holdTimer);
    // A wait inside an exchange: the window's events are dispatched, and a Stop ends the
    // Start or the tick that waits.
    void WaitInExchange(uint32_t milliseconds) override;
    void LockControls();
    void ClearValueFields();
    void ShowCaptions();
    void ShowFrames();
    void ShowError(const std::string& text);
    void SetStatus(const std::string& text);
    // Keeps the window's events dispatched; a Stop that arrives meanwhile ends the Start.
    void PumpDuringStart(uint32_t milliseconds);
    void ApplyLinkSettingsByte(uint8_t linkSettingsByte);
    void ChangeOver();
    // The configuration read's steps: the wake-up scan (tried twice), the request of the
    // record (sent twice when the first answer is not good) and its decoding.
    bool WakeTransducer();
    bool TakeConfiguration();
    // Shows text in the status line and, with the reason on a second line, in a message box.
    void FailConfigurationRead(const std::string& text, const std::string& reason = {});
    void BuildPlan();
    void RefreshDisplay();
    void LogFailedPoll();
    // The log's part of a refresh: the begun row's time stamp (the transducer's clock where it
    // keeps one) and the cells.
    void WriteRefreshedRow(const DisplayResult& result, bool rowBegun,
                           std::vector<std::string>& rowPieces);
    bool BeginLogRow(std::vector<std::string>& rowPieces);
    LogHeader MakeLogHeader() const;
    std::vector<bool> LogColumnsOf(const PollGroup& group) const;
    // The log's titles and each group's cells depend only on the configuration, the poll plan
    // and the data format: worked out once for them, not on every tick.
    struct LogLayout {
        bool valid = false;
        bool physicalUnits = false;
        LogHeader header;
        std::array<std::vector<bool>, kPollGroupCapacity> columns;
    };
    const LogLayout& CurrentLogLayout();
    std::string LogTitle(const std::string& name) const;
    void TakeComputerTime();
    void ReportLogWriteFailure();
    uint32_t ClockRegister() const;
    // The slave address of the poll requests.
    uint8_t PollSlaveAddress() const { return static_cast<uint8_t>(config_.linkAddress & 0xFF); }
    std::string PortMessage() const;
    void SyncClockOverModbus(bool ascii, uint32_t timeRegister);
    void SyncClockOverIec();
    // IEC 60870-5-101 polling.
    uint8_t SelectedGroup() const;
    bool ChooseReadParameter();
    void PrepareIecMaster();
    uint8_t CollectIecAnswer();
    // IecSessionHost
    void StopWithMessage(const std::string& text) override;
    void DispatchInExchange(uint32_t milliseconds) override;
    void ArmPollTimer(uint32_t periodMs) override;
    void KillPollTimer() override;
    uint32_t ReadPollPeriod();

    const ProgramVariant& variant_;
    DialogView& view_;
    SerialChannel& channel_;
    Clock& clock_;
    MeasurementLog log_;

    TransducerConfig config_;
    PollPlan plan_;
    LogLayout logLayout_;  // invalid whenever config_ or plan_ is replaced
    Panel panel_;
    std::vector<uint8_t> answer_;

    bool configReadDone_ = false;
    uint32_t pollPeriod_ = 500;
    uint8_t clockStaleCount_ = 0;
    uint16_t tickCounter_ = 1;
    bool writeToFile_ = false;
    bool physicalUnits_ = false;
    bool localTime_ = true;
    PollKind pollKind_ = PollKind::kInterrogation;
    std::string transducerTimeText_;
    std::string computerTimeText_;

    // The IEC-101 poll session, and the values of the last complete set it collected.
    Iec101PollSession iec_{channel_, clock_, *this};
    std::vector<uint8_t> iecValues_;
    bool iecSetComplete_ = false;
    std::string chosenParameterName_;
    uint32_t chosenParameterAddress_ = 0;
    std::string delayText_ = "0, ms";

    ReentrancyGuard guard_;
    bool timerArmed_ = false;
    std::vector<PendingMessage> pendingMessages_;
    bool showingMessages_ = false;
};
