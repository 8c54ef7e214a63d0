// SPDX-License-Identifier: MIT
#include "polling/polling_controller.h"

#include <algorithm>

#include "catalogue/number_text.h"
#include "catalogue/parameter_naming.h"
#include "catalogue/value_format.h"
#include "channel/exchange_result.h"
#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"
#include "polling/open_failure_text.h"

namespace {

constexpr const char* kIdleText = "Ожидание";
constexpr const char* kRequestText = "Запрос данных";
constexpr const char* kValuePlaceholder = "-----";
constexpr uint32_t kMinimumPollPeriod = 50;
// The longest period the window timer takes (2^31 - 1 ms); a longer one is cut to it.
constexpr uint32_t kMaximumPollPeriod = 0x7FFF'FFFF;
// The step in which waits dispatch the window's events: how late a Stop may take effect.
constexpr uint32_t kPumpStepMs = 50;

// The period field as a decimal number: leading blanks, an optional sign and the digits that
// follow; text that is not a number reads as 0, and so does a negative number (read as
// unsigned it would be a period of weeks).
uint32_t ParsePeriod(const std::string& text) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) {
        return 0;
    }
    if (text[i] == '+' || text[i] == '-') {
        if (text[i] == '-') {
            return 0;
        }
        ++i;
    }
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(text[i] - '0'), 0xFFFF'FFFFu);
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

PollingController::PollingController(const ProgramVariant& variant, DialogView& view,
                                     SerialChannel& channel, Clock& clock, FileSystem& files)
    : variant_(variant), view_(view), channel_(channel), clock_(clock), log_(files, clock) {
    panel_.captions = variant_.initialCaptions;
}

void PollingController::OnInitDialog() {
    tickCounter_ = 1;
    plan_ = PollPlan{};
    logLayout_.valid = false;
    localTime_ = true;
    log_.SetLocalTime(true);
    configReadDone_ = false;
    const std::string zeroTime = ComputerTimeText(0, 0, 0, 0);
    view_.SetText(ViewText::kTransducerTime, zeroTime);
    view_.SetText(ViewText::kComputerTime, zeroTime);
    SetStatus(kIdleText);
    panel_.captions = variant_.initialCaptions;
    panel_.frames = FrameLayout::SinglePhase;
    ShowCaptions();
    if (variant_.hasPanelFrames) {
        ShowFrames();
        for (ViewControl c : variant_.stopDisables) {
            view_.EnableControl(c, false);
        }
    }
    physicalUnits_ = variant_.hasDataFormatSwitch;
    if (variant_.hasDataFormatSwitch) {
        view_.SetChecked(ViewControl::kDataFormat, true);
        view_.SetText(ViewText::kDataFormatCaption, "Физ. ед");
    }
    ClearValueFields();
    config_.ExchangeMode = ExchangeMode::kModbusAscii;
    config_.linkSettingsByte = 0;
    pollPeriod_ = 500;
    view_.SetText(ViewText::kPeriodField, "500");
}

void PollingController::SetStatus(const std::string& text) {
    view_.SetText(ViewText::kStatusLine, text);
}

void PollingController::ShowError(const std::string& text) {
    Notify(text, kErrorCaption, MessageIcon::kNone);
}

void PollingController::Notify(const std::string& text, const std::string& caption,
                               MessageIcon icon) {
    if (guard_.InTick() || showingMessages_) {
        pendingMessages_.push_back({text, caption, icon});
        return;
    }
    view_.ShowMessage(text, caption, icon);
}

void PollingController::ShowPendingMessages() {
    // Ticks run inside an open box (its loop dispatches the timer); what they raise waits for
    // this loop, so that boxes never stack up.
    if (showingMessages_) {
        return;
    }
    showingMessages_ = true;
    while (!pendingMessages_.empty()) {
        const PendingMessage message = pendingMessages_.front();
        pendingMessages_.erase(pendingMessages_.begin());
        view_.ShowMessage(message.text, message.caption, message.icon);
    }
    showingMessages_ = false;
}

void PollingController::ShowCaptions() {
    for (size_t slot = 0; slot < kSlotCount; ++slot) {
        view_.SetCaption(static_cast<int>(slot), panel_.captions[slot]);
    }
}

void PollingController::ShowFrames() {
    const bool three = panel_.frames == FrameLayout::ThreePhase;
    view_.ShowFrame(ViewFrame::kAc, !three);
    view_.ShowFrame(ViewFrame::kDc, !three);
    view_.ShowFrame(ViewFrame::kAcDc, !three);
    view_.ShowFrame(ViewFrame::kMeasured, three);
}

void PollingController::ClearValueFields() {
    for (int slot = 0; slot < static_cast<int>(kSlotCount); ++slot) {
        view_.SetValue(slot, kValuePlaceholder);
    }
}

void PollingController::LockControls() {
    for (ViewControl c : variant_.startLocks) {
        view_.EnableControl(c, false);
    }
}

void PollingController::OnDataFormat() {
    if (guard_.DeferDuringTick([this] { OnDataFormat(); })) {
        return;
    }
    physicalUnits_ = view_.IsChecked(ViewControl::kDataFormat);
    view_.SetText(ViewText::kDataFormatCaption, physicalUnits_ ? "Физ. ед" : "Код");
}

void PollingController::OnTimeBaseChanged(bool localTime) {
    if (guard_.DeferDuringTick([this, localTime] { OnTimeBaseChanged(localTime); })) {
        return;
    }
    localTime_ = localTime;
    log_.SetLocalTime(localTime);
}

bool PollingController::PumpUntil(uint32_t milliseconds, bool holdTimer) {
    const uint32_t begin = clock_.TickCount();
    for (;;) {
        const uint32_t elapsed = clock_.TickCount() - begin;
        if (guard_.Stopped()) {
            return false;
        }
        if (elapsed >= milliseconds) {
            return true;
        }
        const uint32_t step = std::min(milliseconds - elapsed, kPumpStepMs);
        if (holdTimer) {
            view_.PumpMessagesHoldingTimer(step);
        } else {
            view_.PumpMessagesFor(step);
        }
    }
}

void PollingController::PumpDuringStart(uint32_t milliseconds) {
    if (!PumpUntil(milliseconds, false)) {
        throw StartAborted{};
    }
}

void PollingController::WaitInExchange(uint32_t milliseconds) {
    if (guard_.Starting()) {
        PumpDuringStart(milliseconds);
    } else if (guard_.InTick()) {
        // The ticks that come due meanwhile follow this one, as they did after a blocking wait,
        // so that the exchanges keep their timing.
        if (!PumpUntil(milliseconds, true)) {
            throw TickAborted{};
        }
    } else {
        clock_.Sleep(milliseconds);
    }
}

void PollingController::ApplyLinkSettingsByte(uint8_t linkSettingsByte) {
    channel_.ApplyLinkSettingsByte(linkSettingsByte);
}

uint32_t PollingController::ReadPollPeriod() {
    uint32_t period = ParsePeriod(view_.Text(ViewText::kPeriodField));
    if (period < kMinimumPollPeriod) {
        period = kMinimumPollPeriod;
        view_.SetText(ViewText::kPeriodField, FormatInteger(kMinimumPollPeriod));
    }
    return std::min(period, kMaximumPollPeriod);
}

void PollingController::OnStart() {
    // Start's waits dispatch the window's events; a second Start arriving there is ignored.
    if (guard_.Starting() || guard_.DeferDuringTick([this] { OnStart(); })) {
        return;
    }
    ReentrancyGuard::Scope start(guard_, ReentrancyGuard::Activity::kStart);
    try {
        RunStart();
    } catch (const StartAborted&) {
        // A Stop arrived during one of Start's waits: it has already put the window back to
        // idle; nothing of this Start may go on.
        channel_.ClosePort();
    }
    view_.SetChecked(ViewControl::kWriteToFile, writeToFile_);
}

void PollingController::RunStart() {
    TakeStartSettings();
    bool fresh = false;
    if (!configReadDone_) {
        const ConfigReadResult read = ReadConfiguration();
        if (read == ConfigReadResult::kCancelled) {
            throw StartAborted{};
        }
        configReadDone_ = read == ConfigReadResult::kRead;
        fresh = true;
        if (!configReadDone_) {
            OnStop();
            return;
        }
    }
    if (!variant_.locksAtStartBegin) {
        LockControls();
        for (ViewControl c : variant_.clockButtons) {
            view_.EnableControl(c, config_.timeSupport != 0);
        }
        view_.Repaint();
    }

    if (config_.ExchangeMode == ExchangeMode::kIec101 && pollKind_ == PollKind::kReadCommand &&
        !ChooseReadParameter()) {
        OnStop();
        return;
    }

    if (fresh) {
        ChangeOver();
        BuildPlan();
    }
    StartExchanging();
}

void PollingController::TakeStartSettings() {
    writeToFile_ = view_.IsChecked(ViewControl::kWriteToFile);
    pollKind_ =
        variant_.hasIecControls ? PollKindOfButton(view_.PollKind()) : PollKind::kInterrogation;
    physicalUnits_ = variant_.hasDataFormatSwitch && view_.IsChecked(ViewControl::kDataFormat);

    if (variant_.locksAtStartBegin) {
        LockControls();
        view_.SetText(ViewText::kAsduField, "---");
        view_.SetFocus(ViewControl::kStop);
        view_.Repaint();
    }
    clockStaleCount_ = 0;

    if (writeToFile_ && !log_.IsOpen()) {
        if (std::optional<std::string> file = view_.ChooseLogFile()) {
            log_.SetBasePath(EnsureTxtExtension(*file));
        } else {
            writeToFile_ = false;  // no log this time
        }
    }
    channel_.ClosePort();
    pollPeriod_ = ReadPollPeriod();
    ClearValueFields();
}

void PollingController::StartExchanging() {
    if (!channel_.OpenPort(channel_.portName)) {
        return;  // controls stay locked, no timer; "Стоп" brings the window back
    }
    ApplyLinkSettingsByte(config_.linkSettingsByte);
    channel_.DiscardAnswer();
    channel_.Traffic().SetPhase(TrafficPhase::kPolling);
    channel_.Traffic().SetPollPeriod(pollPeriod_);

    if (PreparesIec101(config_.ExchangeMode)) {
        PrepareIecMaster();
    }

    SendPollRequest();
    if (guard_.Stopped()) {
        return;  // the link start-up failed and stopped polling
    }
    SetStatus(kRequestText);
    view_.ArmTimer(pollPeriod_);
    timerArmed_ = true;
}

void PollingController::ChangeOver() {
    std::vector<uint8_t> scratch;
    if (channel_.IsOpen() || channel_.OpenPort(channel_.portName)) {
        ApplyLinkSettingsByte(kConfigurationLinkSettingsByte);
        channel_.ReceiveRtuAnswer(scratch);
        const std::vector<uint8_t> data = {0x00};
        channel_.SendRtuRequest(1, kFunctionEndConfiguration, 0, &data);
        clock_.Sleep(500);
        scratch.clear();
        channel_.ReceiveRtuAnswer(scratch);  // its content is not needed
    }
    channel_.ClosePort();
    PumpDuringStart(2000);
    SetStatus("Ожидание подключения к преобразователю .");
    PumpDuringStart(1000);
    SetStatus("Ожидание подключения к преобразователю ..");
    PumpDuringStart(1000);
    SetStatus("Ожидание подключения к преобразователю ...");
    PumpDuringStart(1000);
}

void PollingController::BuildPlan() {
    PollGroupInput input = PollGroupInputFrom(config_);
    if (config_.ExchangeMode == ExchangeMode::kIec101 && pollKind_ == PollKind::kReadCommand) {
        input.chosenParameter = ChosenParameter{chosenParameterAddress_, chosenParameterName_};
    }
    plan_ = BuildPollGroups(input, variant_.pollGroupRules);
    logLayout_.valid = false;
}

PollingController::ConfigReadResult PollingController::ReadConfiguration() {
    channel_.Traffic().SetPhase(TrafficPhase::kConfiguration);
    channel_.ClosePort();
    const bool opened = channel_.OpenPort(channel_.portName);
    clock_.Sleep(100);
    ConfigReadResult result = ConfigReadResult::kFailed;
    try {
        if (!opened) {
            FailConfigurationRead("Не могу открыть " + channel_.portName,
                                  OpenFailureText(channel_.LastOpenFailure()));
        } else if (!WakeTransducer()) {
            FailConfigurationRead("Нет связи с преобразователем");
        } else if (TakeConfiguration()) {
            result = ConfigReadResult::kRead;
        } else {
            // A short, truncated or oversized record counts as no good answer.
            FailConfigurationRead("Не могу прочитать конфигурацию ");
        }
    } catch (const StartAborted&) {
        result = ConfigReadResult::kCancelled;
    }
    channel_.ClosePort();
    view_.SetText(ViewText::kModelName, std::string(VisibleModelText(config_.modelName)));
    return result;
}

void PollingController::FailConfigurationRead(const std::string& text, const std::string& reason) {
    // The failure text stands in the status line while its message box is open; the box gives
    // the reason on a line of its own.
    SetStatus(text);
    ShowError(reason.empty() ? text : text + "\n" + reason);
}

bool PollingController::WakeTransducer() {
    if (variant_.configTextBeforeScan) {
        SetStatus("Чтение конфигурации");
    }
    if (channel_.ScanLinkSettings() != SerialChannel::kNotHeard) {
        return true;
    }
    PumpDuringStart(1000);
    return channel_.ScanLinkSettings() != SerialChannel::kNotHeard;
}

bool PollingController::TakeConfiguration() {
    const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
    auto request = [&] {
        answer_.clear();
        channel_.SendRtuRequest(1, kFunctionReadConfiguration, 0, &access);
        if (!variant_.configTextBeforeScan) {
            SetStatus("Чтение конфигурации");
        }
        PumpDuringStart(1000);
        answer_.clear();
        return channel_.ReceiveRtuAnswer(answer_);
    };
    // Sent again once when the line failed; an exception answer is the transducer's word.
    ExchangeResult result = ModbusRtuResult(request(), answer_);
    if (result.lineFailed()) {
        clock_.Sleep(500);
        result = ModbusRtuResult(request(), answer_);
    }
    if (!result.ok()) {
        return false;
    }
    ConfigDecodeResult decoded = DecodeTransducerConfig(answer_, variant_.minimumConfigAnswer);
    if (!decoded.accepted()) {
        return false;
    }
    SetStatus("Чтение конфигурации прошло успешно");
    config_ = std::move(*decoded.config);
    logLayout_.valid = false;
    IdentifyModel(*variant_.catalogue, config_.modelName, panel_);
    ShowCaptions();
    if (variant_.hasPanelFrames) {
        ShowFrames();
    }
    return true;
}

void PollingController::OnStop() {
    view_.KillTimer();
    timerArmed_ = false;
    channel_.Traffic().SetPhase(TrafficPhase::kIdle);
    configReadDone_ = false;
    for (ViewControl c : variant_.stopEnables) {
        view_.EnableControl(c, true);
    }
    for (ViewControl c : variant_.stopDisables) {
        view_.EnableControl(c, false);
    }
    view_.Repaint();
    channel_.ClosePort();
    log_.Close();
    SetStatus(kIdleText);
    guard_.NoteStop();
}

void PollingController::OnTimer(int timerId) {
    // Timer messages queued before a Stop, and ticks arriving inside a running tick (the
    // 50 ms of the read command dispatch events), are ignored.
    if (timerId != 1 || !timerArmed_ || guard_.InTick()) {
        return;
    }
    RunTick();
    guard_.RunDeferred();
    ShowPendingMessages();
}

void PollingController::RunTick() {
    ReentrancyGuard::Scope tick(guard_, ReentrancyGuard::Activity::kTick);
    try {
        const uint8_t r = CollectPollAnswer();
        ++tickCounter_;
        const bool even = tickCounter_ % 2 == 0;
        std::string status;
        if (r == 0) {
            RefreshDisplay();
            status = even ? "Запрос данных ■" : "Запрос данных ";
        } else {
            if (log_.IsOpen()) {
                LogFailedPoll();
            }
            status = even ? "Запрос данных - ошибка ■" : "Запрос данных - ошибка";
        }
        if (timerArmed_) {  // the log may have stopped polling
            SetStatus(status);
            ++plan_.currentGroup;
            if (plan_.currentGroup >= plan_.groupCount) {
                plan_.currentGroup = 0;
            }
            SendPollRequest();
            ReportLogWriteFailure();
        }
    } catch (const TickAborted&) {
        // A Stop, or the window closing, came during one of the tick's waits: the window is
        // idle already and nothing of this tick may go on.
    }
}

uint8_t PollingController::CollectPollAnswer() {
    answer_.clear();
    if (!channel_.IsOpen()) {
        return 0;
    }
    // A frame from another slave (a second device with a colliding address) is not the
    // transducer's answer: the poll failed as if nothing had come.
    const auto fromTransducer = [this](const ExchangeResult& result) {
        const bool framed = result.ok() || result.device == DeviceAnswer::kException;
        if (framed && !answer_.empty() && answer_[0] != PollSlaveAddress()) {
            answer_.clear();
            return kModbusNoAnswer;
        }
        return result.code;
    };
    switch (config_.ExchangeMode) {
        case ExchangeMode::kModbusAscii:
            return fromTransducer(ModbusAsciiResult(channel_.ReceiveAsciiAnswer(answer_)));
        case ExchangeMode::kModbusRtu: {
            // An exception answer carries no values: it fails the tick with 100 plus its code.
            const uint8_t check = channel_.ReceiveRtuAnswer(answer_);
            return fromTransducer(ModbusRtuResult(check, answer_));
        }
        case ExchangeMode::kReceiveOnly: {
            const uint8_t r = channel_.ReceiveRtuAnswer(answer_);
            answer_.clear();
            return r;
        }
        case ExchangeMode::kIec101:
            return CollectIecAnswer();
        default:
            return 0;  // modes 2, 3 and 5 to 254 exchange nothing
    }
}

void PollingController::SendPollRequest() {
    const ExchangeMode mode = config_.ExchangeMode;
    if (mode == ExchangeMode::kReceiveOnly) {
        return;
    }
    const PollGroup& group = plan_.pollGroups[plan_.currentGroup];
    answer_.assign({0x00, group.registerCount});
    const uint8_t slave = PollSlaveAddress();
    const auto start = static_cast<uint16_t>(group.startAddress & 0xFFFF);
    if (channel_.IsOpen()) {
        if (mode == ExchangeMode::kModbusAscii) {
            channel_.SendAsciiRequest(slave, kFunctionReadInputRegisters, start, &answer_);
        } else if (mode == ExchangeMode::kModbusRtu) {
            channel_.SendRtuRequest(slave, kFunctionReadInputRegisters, start, &answer_);
        }
        if (mode == ExchangeMode::kIec101) {
            iec_.SendRequest(config_, plan_, SelectedGroup());
        }
    }
    if (!(mode == ExchangeMode::kIec101 && pollKind_ == PollKind::kInterrogation &&
          iec_.Results().lastCause != kCauseConfirmation)) {
        TakeComputerTime();
    }
}

void PollingController::TakeComputerTime() {
    const SystemTime now = localTime_ ? clock_.LocalTime() : clock_.UtcTime();
    computerTimeText_ = ComputerTimeText(now.hour, now.minute, now.second, now.milliseconds);
}

std::string PollingController::LogTitle(const std::string& name) const {
    const bool raw = !physicalUnits_ && !plan_.clockInFloatGroup && !config_.valueIsFloat;
    if (raw) {
        return LogLabelForCodeName(name, config_.modelName);
    }
    const bool floatLabel = plan_.clockInFloatGroup || config_.valueIsFloat;
    std::string title = floatLabel ? LogLabelForFloatName(name, config_.modelName)
                                   : LogLabelForCodeName(name, config_.modelName);
    if (config_.valueIsFloat && config_.ExchangeMode != ExchangeMode::kIec101) {
        // Polled over Modbus, the names of 32-bit values may still be code names ("aUa1"):
        // labelled as the window captions them, through the code label and then the 32-bit one.
        title =
            LogLabelForFloatName(LogLabelForCodeName(name, config_.modelName), config_.modelName);
    }
    size_t index = config_.parameterNames.size();
    for (size_t i = 0; i < config_.parameterNames.size(); ++i) {
        if (config_.parameterNames[i] == name) {
            index = i;
            break;
        }
    }
    return title + "," + UnitText(config_, index);
}

LogHeader PollingController::MakeLogHeader() const {
    LogHeader header;
    header.modelName = std::string(VisibleModelText(config_.modelName));
    header.linkAddress = config_.linkAddress;
    for (size_t g = 0; g < plan_.groupCount; ++g) {
        for (const std::string& name : plan_.pollGroups[g].names) {
            header.titles.push_back(LogTitle(name));
        }
    }
    return header;
}

std::vector<bool> PollingController::LogColumnsOf(const PollGroup& group) const {
    // A value gets a cell exactly where the header gave its parameter a column, so that the
    // rows stay under their titles (the clock registers get neither).
    std::vector<bool> columns;
    columns.reserve(group.names.size());
    for (const std::string& name : group.names) {
        columns.push_back(HasLogColumn(LogTitle(name)));
    }
    return columns;
}

const PollingController::LogLayout& PollingController::CurrentLogLayout() {
    if (!logLayout_.valid || logLayout_.physicalUnits != physicalUnits_) {
        logLayout_.header = MakeLogHeader();
        for (size_t g = 0; g < kPollGroupCapacity; ++g) {
            logLayout_.columns[g] = LogColumnsOf(plan_.pollGroups[g]);
        }
        logLayout_.physicalUnits = physicalUnits_;
        logLayout_.valid = true;
    }
    return logLayout_;
}

bool PollingController::BeginLogRow(std::vector<std::string>& rowPieces) {
    const MeasurementLog::RowStart start = log_.BeginLogRow(CurrentLogLayout().header, rowPieces);
    if (start == MeasurementLog::RowStart::kCreateFailed) {
        OnStop();
        Notify("Не могу создать файл, " + log_.CurrentFileName(), kErrorCaption,
               MessageIcon::kExclamation);
        return false;
    }
    return true;
}

void PollingController::RefreshDisplay() {
    std::vector<std::string> rowPieces;
    bool rowBegun = false;
    const bool iec = config_.ExchangeMode == ExchangeMode::kIec101;
    const bool answered = iec ? iecSetComplete_ : !answer_.empty();
    if (writeToFile_ && plan_.currentGroup == 0 && answered) {
        rowBegun = BeginLogRow(rowPieces);
    }
    const PollGroup& group = plan_.pollGroups[plan_.currentGroup];

    DisplayInput in;
    in.values = iec ? std::span<const uint8_t>(iecValues_) : RegisterAnswerValues(answer_);
    in.group = &group;
    in.logColumns = CurrentLogLayout().columns[plan_.currentGroup];
    in.config = &config_;
    in.exchangeMode = config_.ExchangeMode;
    in.lastValueType = iec_.Results().valueType;
    in.physicalUnits = physicalUnits_;
    in.clockInFloatGroup = plan_.clockInFloatGroup;
    in.asduTime = iec_.Results().asduTime;
    in.clockStaleCount = clockStaleCount_;
    in.clockValueSkipped = variant_.clockValueSkipped;
    in.floatCaptionsForClockFloatGroup = variant_.floatCaptionsForClockFloatGroup;
    const DisplayResult result = RefreshValues(in, panel_.captions);

    for (size_t slot = 0; slot < kSlotCount; ++slot) {
        if (result.values[slot]) {
            view_.SetValue(static_cast<int>(slot), *result.values[slot]);
        }
    }
    if (result.captionsChanged) {
        ShowCaptions();
    }
    if (log_.IsOpen()) {
        WriteRefreshedRow(result, rowBegun, rowPieces);
    }
    if (result.transducerTimeText) {
        transducerTimeText_ = *result.transducerTimeText;
    }
    if (result.showComputerTime) {
        view_.SetText(ViewText::kComputerTime, computerTimeText_);
    }
    view_.SetText(ViewText::kTransducerTime, transducerTimeText_);
}

void PollingController::WriteRefreshedRow(const DisplayResult& result, bool rowBegun,
                                          std::vector<std::string>& rowPieces) {
    if (rowBegun && result.logTimeText && !rowPieces.empty()) {
        rowPieces.front() = *result.logTimeText;
    }
    // A row begun without a cell still writes its time stamp, so that the cells of the later
    // groups do not run on into the previous row.
    if (result.cells.empty() && !rowBegun) {
        return;
    }
    std::string text;
    for (const std::string& piece : rowPieces) {
        text += piece;
    }
    for (const std::string& cell : result.cells) {
        text += cell;
    }
    log_.WriteLogText(text);
}

void PollingController::LogFailedPoll() {
    const LogLayout& layout = CurrentLogLayout();
    const std::vector<bool>& columns = layout.columns[plan_.currentGroup];
    const size_t cells = static_cast<size_t>(std::count(columns.begin(), columns.end(), true));
    const bool beginRow = writeToFile_ && plan_.currentGroup == 0;
    const MeasurementLog::RowStart start = log_.LogFailedPoll(layout.header, beginRow, cells);
    if (start == MeasurementLog::RowStart::kCreateFailed) {
        OnStop();
        Notify("Не могу создать файл, " + log_.CurrentFileName(), kErrorCaption,
               MessageIcon::kExclamation);
    }
}

void PollingController::ReportLogWriteFailure() {
    // Once an outage: the log keeps the rows meanwhile and writes them when it can again.
    if (!log_.TakeWriteFailure()) {
        return;
    }
    Notify("Ошибка записи в файл, " + log_.CurrentFileName(), kErrorCaption,
           MessageIcon::kExclamation);
}
