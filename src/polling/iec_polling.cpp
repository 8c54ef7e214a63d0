// Polling a transducer that speaks IEC 60870-5-101 (exchange modes 1 and 2): the preparation at
// Start, the link start-up inside the first request, the request of each tick by poll kind and
// the answer side that lays a value set out like a Modbus register answer.

#include <algorithm>

#include "catalogue/number_text.h"
#include "catalogue/parameter_naming.h"
#include "iec101/iec101_commands.h"
#include "polling/polling_controller.h"

namespace {

constexpr uint8_t kCauseActivation = 6;
constexpr uint8_t kCauseDeactivation = 8;
constexpr uint8_t kCauseRequest = 5;
constexpr uint8_t kCauseTermination = 10;
constexpr uint8_t kStationGroupCause = 20;

bool HasCapital(const std::string& name) {
    return std::any_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

}  // namespace

std::vector<ParameterChoice> ParameterChoicesOf(const TransducerConfig& config) {
    std::vector<ParameterChoice> choices;
    for (size_t i = 0; i < config.parameterNames.size(); ++i) {
        const std::string& name = config.parameterNames[i];
        if (IsClockName(name)) {
            continue;
        }
        const bool wide = !HasCapital(name);
        if (wide != config.valueIsFloat) {
            continue;
        }
        std::string label = CaptionForCodeName(name, config.modelName);
        if (wide) {
            label = CaptionForFloatName(label, config.modelName);
        }
        const uint32_t address =
            i < config.parameterAddresses.size() ? config.parameterAddresses[i] : 0;
        choices.push_back({label, address, name});
    }
    return choices;
}

LinkConfig PollingController::IecLinkConfig(uint8_t group, uint8_t cause) const {
    LinkConfig lc;
    lc.addressWidth = config_.iecAddressWidth;
    lc.ioaWidth = config_.iecObjectAddressWidth;
    lc.causeWidth = config_.iecCauseWidth;
    lc.reserved = 16;
    lc.group = group;
    lc.commandCause = cause;
    return lc;
}

uint8_t PollingController::SelectedGroup() const {
    if (!variant_.hasIecControls) {
        return 0;
    }
    const int g = view_.GroupSelection();
    return g >= 0 && g <= 16 ? static_cast<uint8_t>(g) : 0;
}

bool PollingController::ChooseReadParameter() {
    const std::vector<ParameterChoice> choices = ParameterChoicesOf(config_);
    const std::optional<size_t> chosen = view_.ChooseParameter(choices);
    if (!chosen) {
        return false;
    }
    if (*chosen < choices.size()) {
        chosenParameterName_ = choices[*chosen].name;
        chosenParameterAddress_ = choices[*chosen].address;
    }
    return true;
}

void PollingController::PrepareIecMaster() {
    for (ViewControl c : variant_.iecEnables) {
        view_.EnableControl(c, true);
    }
    view_.Repaint();

    const size_t n = config_.IecParameterList.size();
    iec_.valueTable.assign(4 * n, 0);
    iec_.SetWidths({config_.iecAddressWidth, config_.iecObjectAddressWidth, config_.iecCauseWidth});
    std::vector<IecParameter> parameters;
    for (const IecParameterText& p : config_.IecParameterList) {
        parameters.push_back({p.name, ParseHexAddress(p.addressText)});
    }
    iec_.SetParameters(std::move(parameters));
    iec_.receivedFlags.clear();
    iec_.expectedMask.clear();

    // The clock's four registers close the list; they are never awaited in a value set.
    const size_t clockCount = config_.timeSupport != 0 ? 4 : 0;
    const size_t awaited = n > clockCount ? n - clockCount : 0;
    const uint8_t group = SelectedGroup();
    for (size_t j = 0; j < awaited; ++j) {
        const std::string& name = config_.IecParameterList[j].name;
        bool expected = false;
        if (pollKind_ == PollKind::kReadCommand) {
            expected = !chosenParameterName_.empty() &&
                       name.find(chosenParameterName_) != std::string::npos &&
                       name.back() == chosenParameterName_.back();
        } else {
            for (size_t g = 0; g < plan_.groupCount && !expected; ++g) {
                for (const std::string& polled : plan_.pollGroups[g].names) {
                    if (name.find(polled) != std::string::npos) {
                        expected = true;
                        break;
                    }
                }
            }
        }
        uint8_t received = 0;
        // An interrogated group: parameters of other groups are neither awaited nor expected.
        if (pollKind_ == PollKind::kInterrogation && group >= 1 && group <= 16 &&
            j < config_.groupBytes.size()) {
            const uint8_t g = config_.groupBytes[j];
            if (g != kStationGroupCause && g != kStationGroupCause + group) {
                received = 0xFF;
                expected = false;
            }
        }
        // The link-level read awaits every parameter that the groups poll: a set is complete
        // when all of them have come in.
        iec_.receivedFlags.push_back(received);
        iec_.expectedMask.push_back(expected ? 0xFF : 0);
    }
    iec_.RestartExpectedSet();
    linkStartupPending_ = true;
    lastIecReceive_ = 0;
}

void PollingController::SendIecRequest() {
    const LinkConfig lc = IecLinkConfig(SelectedGroup());
    iec_.SetPort(channel_);
    const uint32_t start = plan_.pollGroups[plan_.currentGroup].startAddress;
    if (linkStartupPending_) {
        linkStartupPending_ = false;
        IecLinkStartup(lc);
    } else if (iecResults_.lastCause == kCauseTermination || InterrogationLost()) {
        RenewInterrogation(lc);
    } else if (pollKind_ == PollKind::kReadCommand) {
        iec_.SendAsduCommand(config_.linkAddress, kTypeRead, start,
                             IecLinkConfig(lc.group, kCauseRequest));
    } else {
        iec_.RequestClass2Data(config_.linkAddress, lc);
    }
}

bool PollingController::InterrogationLost() {
    // While polling by interrogation, "no data" (the fixed frame, or a lone E5) long after the
    // interrogation brought anything means that its termination, or the whole interrogation,
    // was lost on the line or refused: without a new interrogation the station would never
    // have values again. A station that answers "no data" while it gathers its values is
    // given three poll periods before it is asked again.
    if (pollKind_ != PollKind::kInterrogation ||
        (lastIecReceive_ != kReceiveNoData && lastIecReceive_ != kReceiveSingleAck)) {
        return false;
    }
    const uint32_t quiet = clock_.TickCount() - lastIecProgressMs_;
    return uint64_t{quiet} >= uint64_t{3} * pollPeriod_;
}

bool PollingController::InterrogationConfirmed(const LinkConfig& lc) {
    WaitInExchange(100);
    std::vector<uint8_t> scratch;
    if (IsGood(iec_.ReceiveFrame(scratch, lc))) {
        return true;
    }
    iec_.RequestClass2Data(config_.linkAddress, lc);
    WaitInExchange(100);
    scratch.clear();
    const uint8_t second = iec_.ReceiveFrame(scratch, lc);
    OnStop();
    Notify(Iec101ResultMessage(second), kErrorCaption, MessageIcon::kNone);
    return false;
}

void PollingController::IecLinkStartup(const LinkConfig& lc) {
    const uint16_t address = config_.linkAddress;
    if (!iec_.RequestLinkStatus(address, lc)) {
        OnStop();
        Notify("Ошибка при инициализации канала", kErrorCaption, MessageIcon::kNone);
        return;
    }
    if (!iec_.ResetRemoteLink(address, lc)) {
        return;  // the start-up counts as done
    }
    const uint32_t start = plan_.pollGroups[plan_.currentGroup].startAddress;
    const uint8_t cause =
        pollKind_ == PollKind::kInterrogation ? kCauseActivation : kCauseDeactivation;
    iec_.SendAsduCommand(address, kTypeInterrogation, start, IecLinkConfig(lc.group, cause));
    lastIecProgressMs_ = clock_.TickCount();
    if (!InterrogationConfirmed(lc)) {
        return;
    }
    if (pollKind_ == PollKind::kReadCommand) {
        iec_.SendAsduCommand(address, kTypeRead, start, IecLinkConfig(lc.group, kCauseRequest));
    } else {
        iec_.RequestClass2Data(address, lc);
        if (pollKind_ == PollKind::kInterrogation) {
            view_.ArmTimer(100);  // Start arms it at the poll period afterwards
        }
    }
}

void PollingController::RenewInterrogation(const LinkConfig& lc) {
    view_.KillTimer();
    WaitInExchange(pollPeriod_ > 100 ? pollPeriod_ - 100 : 0);
    view_.ArmTimer(100);
    const uint32_t start = plan_.pollGroups[plan_.currentGroup].startAddress;
    iec_.SendAsduCommand(config_.linkAddress, kTypeInterrogation, start,
                         IecLinkConfig(lc.group, kCauseActivation));
    lastIecProgressMs_ = clock_.TickCount();
    if (InterrogationConfirmed(lc)) {
        iec_.RequestClass2Data(config_.linkAddress, lc);
    }
}

uint8_t PollingController::CollectIecAnswer() {
    const AsduTime before = iecResults_.asduTime;
    const LinkConfig lc = IecLinkConfig(0);
    iec_.SetPort(channel_);
    uint8_t r = iec_.ReceiveFrame(answer_, lc);
    if (pollKind_ == PollKind::kReadCommand && r == 0 && answer_.empty()) {
        iec_.RequestClass2Data(config_.linkAddress, lc);
        view_.PumpMessagesFor(50);  // ticks arriving here are ignored (no tick inside a tick)
        if (guard_.Stopped()) {
            throw TickAborted{};
        }
        r = iec_.ReceiveFrame(answer_, lc);
    }
    lastIecReceive_ = r;
    if (r == kReceiveOk && iecResults_.asduCount != asduCountSeen_) {
        lastIecProgressMs_ = clock_.TickCount();  // a confirmation, values or a termination
    }
    asduCountSeen_ = iecResults_.asduCount;
    if (iecResults_.setComplete) {
        iecResults_.setComplete = false;
    } else {
        answer_.clear();
    }
    if (!answer_.empty()) {
        // The values of the first group's parameter onward move to position 3, as in a
        // register answer; the buffer keeps its length.
        uint16_t k = iec_.FindParameterIndex(plan_.pollGroups[0].startAddress);
        if (k == Iec101Master::kNoParameter) {
            k = 0;
        }
        const size_t s = config_.valueIsFloat ? 4 : 2;
        const size_t from = 2 + size_t{k} * s;
        if (from < answer_.size()) {
            std::copy(answer_.begin() + static_cast<std::ptrdiff_t>(from), answer_.end(),
                      answer_.begin() + 2);
        }
        answer_.insert(answer_.begin(), 0x00);
        if (variant_.hasIecControls) {
            view_.SetText(ViewText::kAsduField, FormatInteger(iecResults_.valueType));
        }
    }
    const AsduTime& after = iecResults_.asduTime;
    if (before.milliseconds == after.milliseconds && before.hourMinute == after.hourMinute) {
        if (clockStaleCount_ < 3) {
            ++clockStaleCount_;
        }
        if (clockStaleCount_ >= 3) {
            view_.SetText(ViewText::kTransducerTime, TransducerTimePlaceholder());
        }
    } else {
        clockStaleCount_ = 0;
    }
    return r;
}

void PollingController::SyncClockOverIec() {
    // The clock is always set at link address 1.
    const LinkConfig lc = IecLinkConfig(SelectedGroup());
    iec_.SetPort(channel_);
    if (!iec_.RequestLinkStatus(1, lc)) {
        OnStop();
        Notify("Ошибка при инициализации канала", kErrorCaption, MessageIcon::kNone);
        OnStart();
        return;
    }
    if (!iec_.ResetRemoteLink(1, lc)) {
        return;  // the poll timer stays stopped
    }
    iec_.SendClockSync(1, lc, localTime_);
    clock_.Sleep(350);
    std::vector<uint8_t> scratch;
    const uint8_t first = iec_.ReceiveFrame(scratch, lc);
    iec_.RequestClass2Data(1, lc);
    clock_.Sleep(350);
    scratch.clear();
    const uint8_t second = iec_.ReceiveFrame(scratch, lc);
    if (!IsGood(first)) {
        OnStop();
        Notify(Iec101ResultMessage(second), kErrorCaption, MessageIcon::kNone);
    }
    OnStart();
}
