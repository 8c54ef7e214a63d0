#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/model_catalogue.h"
#include "catalogue/poll_groups.h"
#include "catalogue/transducer_config.h"
#include "channel/serial_channel.h"
#include "log/measurement_log.h"
#include "platform/clock.h"
#include "platform/file_sink.h"
#include "polling/dialog_view.h"
#include "polling/measurement_display.h"
#include "polling/program_variant.h"

// The main window's logic: the polling state and the handlers of its commands and of the poll
// timer. It reaches the window only through DialogView and time only through Clock, so that
// the same code runs in the Qt window and, in virtual time, in the tests.
class PollingController {
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

    // One tick in two halves (the first request is sent by Start).
    uint8_t CollectPollAnswer();
    void SendPollRequest();

    enum class ConfigReadResult { kRead, kFailed, kCancelled };
    ConfigReadResult ReadConfiguration();

    // State, for the window and the tests.
    bool IsPolling() const { return timerArmed_; }
    bool IsStarting() const { return starting_; }
    bool configReadDone() const { return configReadDone_; }
    const TransducerConfig& config() const { return config_; }
    const PollPlan& pollPlan() const { return plan_; }
    const Panel& panel() const { return panel_; }
    uint32_t pollPeriod() const { return pollPeriod_; }
    uint16_t tickCounter() const { return tickCounter_; }
    uint8_t ExchangeMode() const { return config_.ExchangeMode; }
    const MeasurementLog& log() const { return log_; }
    const std::vector<uint8_t>& answer() const { return answer_; }

  private:
    struct StartAborted {};

    void RunStart();
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
    void BuildPlan();
    void RefreshDisplay();
    void LogFailedPoll();
    bool BeginLogRow(std::vector<std::string>& rowPieces);
    LogHeader MakeLogHeader() const;
    std::vector<bool> LogColumnsOf(const PollGroup& group) const;
    std::string LogTitle(const std::string& name) const;
    void TakeComputerTime();
    void ReportLogWriteFailure();
    uint32_t ReadPollPeriod();

    const ProgramVariant& variant_;
    DialogView& view_;
    SerialChannel& channel_;
    Clock& clock_;
    MeasurementLog log_;

    TransducerConfig config_;
    PollPlan plan_;
    Panel panel_;
    std::vector<uint8_t> answer_;

    bool configReadDone_ = false;
    uint32_t pollPeriod_ = 500;
    uint8_t clockStaleCount_ = 0;
    uint16_t tickCounter_ = 1;
    bool writeToFile_ = false;
    bool physicalUnits_ = false;
    bool localTime_ = true;
    int pollKind_ = 0;
    std::string transducerTimeText_;
    std::string computerTimeText_;
    bool logWriteFailureShown_ = false;

    // IEC-101 results the display reads (filled by the IEC-101 collection).
    uint8_t lastValueType_ = 0;
    uint8_t lastCause_ = 0;
    ClockFields asduTime_;

    // Re-entrancy: Start runs its waits with the window's events dispatched.
    bool starting_ = false;
    bool stopDuringStart_ = false;
    bool inTick_ = false;
    bool timerArmed_ = false;
};
