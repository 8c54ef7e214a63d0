// SPDX-License-Identifier: MIT
#include "polling/iec101_poll_session.h"

#include <algorithm>

#include "catalogue/number_text.h"
#include "iec101/iec101_commands.h"

namespace {

// A renewed interrogation, and the start-up's when interrogating, run the timer at this.
constexpr uint32_t kInterrogationCycleMs = 100;

// Whether the parameter of the list belongs to the value sets of this Start.
bool IsExpected(const std::string& name, const PollPlan& plan, const IecPollSettings& settings) {
    if (settings.kind == PollKind::kReadCommand) {
        const std::string& chosen = settings.chosenName;
        return !chosen.empty() && name.find(chosen) != std::string::npos &&
               name.back() == chosen.back();
    }
    for (size_t g = 0; g < plan.groupCount; ++g) {
        for (const std::string& polled : plan.pollGroups[g].names) {
            if (name.find(polled) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

LinkConfig LinkConfigOf(const TransducerConfig& config, uint8_t group, uint8_t cause) {
    return LinkConfig::FromWidths(
        {config.iecAddressWidth, config.iecObjectAddressWidth, config.iecCauseWidth}, group, cause);
}

Iec101PollSession::Iec101PollSession(SerialChannel& channel, Clock& clock, IecSessionHost& host)
    : channel_(channel), clock_(clock), host_(host) {}

void Iec101PollSession::Prepare(const TransducerConfig& config, const PollPlan& plan, uint8_t group,
                                const IecPollSettings& settings) {
    settings_ = settings;
    results_.setComplete = false;
    const size_t n = config.IecParameterList.size();
    master_.SetWidths({config.iecAddressWidth, config.iecObjectAddressWidth, config.iecCauseWidth});
    std::vector<IecParameter> parameters;
    for (const IecParameterText& p : config.IecParameterList) {
        parameters.push_back({p.name, ParseHexAddress(p.addressText)});
    }
    master_.SetParameters(std::move(parameters));
    std::vector<uint8_t> receivedFlags;
    std::vector<uint8_t> expectedMask;

    // The clock's four registers close the list; they are never awaited in a value set.
    const size_t clockCount = config.timeSupport != 0 ? 4 : 0;
    const size_t awaited = n > clockCount ? n - clockCount : 0;
    for (size_t j = 0; j < awaited; ++j) {
        bool expected = IsExpected(config.IecParameterList[j].name, plan, settings);
        uint8_t received = 0;
        // An interrogated group: parameters of other groups are neither awaited nor expected.
        if (settings.kind == PollKind::kInterrogation && group >= 1 && group <= 16 &&
            j < config.groupBytes.size()) {
            const uint8_t g = config.groupBytes[j];
            if (g != kCauseStationInterrogated && g != kCauseStationInterrogated + group) {
                received = 0xFF;
                expected = false;
            }
        }
        // The link-level read awaits every parameter that the groups poll: a set is complete
        // when all of them have come in.
        receivedFlags.push_back(received);
        expectedMask.push_back(expected ? 0xFF : 0);
    }
    master_.PrepareValueSet(std::move(receivedFlags), std::move(expectedMask), 4 * n);
    master_.RestartExpectedSet();
    linkStartupPending_ = true;
    lastReceive_ = 0;
}

void Iec101PollSession::SendRequest(const TransducerConfig& config, const PollPlan& plan,
                                    uint8_t group) {
    const LinkConfig lc = LinkConfigOf(config, group);
    master_.SetPort(channel_);
    const uint32_t start = plan.pollGroups[plan.currentGroup].startAddress;
    if (linkStartupPending_) {
        linkStartupPending_ = false;
        StartLinkUp(config, start, lc);
    } else if (results_.lastCause == kCauseTermination || InterrogationLost()) {
        RenewInterrogation(config, start, lc);
    } else if (settings_.kind == PollKind::kReadCommand) {
        master_.SendAsduCommand(config.linkAddress, kTypeRead, start,
                                LinkConfigOf(config, lc.group, kCauseRequest));
    } else {
        master_.RequestClass2Data(config.linkAddress, lc);
    }
}

bool Iec101PollSession::InterrogationLost() {
    // While polling by interrogation, "no data" (the fixed frame, or a lone E5) long after the
    // interrogation brought anything means that its termination, or the whole interrogation,
    // was lost on the line or refused: without a new interrogation the station would never
    // have values again. A station that answers "no data" while it gathers its values is
    // given three poll periods before it is asked again.
    if (settings_.kind != PollKind::kInterrogation ||
        (lastReceive_ != kReceiveNoData && lastReceive_ != kReceiveSingleAck)) {
        return false;
    }
    const uint32_t quiet = clock_.TickCount() - lastProgressMs_;
    return uint64_t{quiet} >= uint64_t{3} * settings_.pollPeriod;
}

bool Iec101PollSession::InterrogationConfirmed(uint16_t linkAddress, const LinkConfig& lc) {
    host_.WaitInExchange(100);
    std::vector<uint8_t> scratch;
    if (Acknowledged(master_.ReceiveFrame(scratch, lc))) {
        return true;
    }
    master_.RequestClass2Data(linkAddress, lc);
    host_.WaitInExchange(100);
    scratch.clear();
    const uint8_t second = master_.ReceiveFrame(scratch, lc);
    host_.StopWithMessage(Iec101ResultMessage(second));
    return false;
}

void Iec101PollSession::StartLinkUp(const TransducerConfig& config, uint32_t start,
                                    const LinkConfig& lc) {
    const uint16_t address = config.linkAddress;
    if (!master_.RequestLinkStatus(address, lc)) {
        host_.StopWithMessage("Ошибка при инициализации канала");
        return;
    }
    if (!master_.ResetRemoteLink(address, lc)) {
        return;  // the start-up counts as done
    }
    const uint8_t cause =
        settings_.kind == PollKind::kInterrogation ? kCauseActivation : kCauseDeactivation;
    master_.SendAsduCommand(address, kTypeInterrogation, start,
                            LinkConfigOf(config, lc.group, cause));
    lastProgressMs_ = clock_.TickCount();
    if (!InterrogationConfirmed(address, lc)) {
        return;
    }
    if (settings_.kind == PollKind::kReadCommand) {
        master_.SendAsduCommand(address, kTypeRead, start,
                                LinkConfigOf(config, lc.group, kCauseRequest));
    } else {
        master_.RequestClass2Data(address, lc);
        if (settings_.kind == PollKind::kInterrogation) {
            host_.ArmPollTimer(kInterrogationCycleMs);  // Start arms it at the poll period later
        }
    }
}

void Iec101PollSession::RenewInterrogation(const TransducerConfig& config, uint32_t start,
                                           const LinkConfig& lc) {
    host_.KillPollTimer();
    const uint32_t period = settings_.pollPeriod;
    host_.WaitInExchange(period > kInterrogationCycleMs ? period - kInterrogationCycleMs : 0);
    host_.ArmPollTimer(kInterrogationCycleMs);
    master_.SendAsduCommand(config.linkAddress, kTypeInterrogation, start,
                            LinkConfigOf(config, lc.group, kCauseActivation));
    lastProgressMs_ = clock_.TickCount();
    if (InterrogationConfirmed(config.linkAddress, lc)) {
        master_.RequestClass2Data(config.linkAddress, lc);
    }
}

IecCollection Iec101PollSession::Collect(const TransducerConfig& config, const PollPlan& plan) {
    const AsduTime before = results_.asduTime;
    const LinkConfig lc = LinkConfigOf(config, 0);
    master_.SetPort(channel_);
    IecCollection collection;
    std::vector<uint8_t> answer;
    uint8_t r = master_.ReceiveFrame(answer, lc);
    if (settings_.kind == PollKind::kReadCommand && r == kReceiveOk && answer.empty()) {
        master_.RequestClass2Data(config.linkAddress, lc);
        host_.DispatchInExchange(50);
        r = master_.ReceiveFrame(answer, lc);
    }
    lastReceive_ = r;
    if (r == kReceiveOk && results_.asduCount != asduCountSeen_) {
        lastProgressMs_ = clock_.TickCount();  // a confirmation, values or a termination
    }
    asduCountSeen_ = results_.asduCount;
    collection.code = r;
    if (results_.setComplete && !answer.empty()) {
        // The answer holds two zero bytes and the value table. The values from the first
        // group's parameter on are the set; the table's last values follow once more, as
        // where a shifted set left them.
        uint16_t k = master_.FindParameterIndex(plan.pollGroups[0].startAddress);
        if (k == Iec101Master::kNoParameter) {
            k = 0;
        }
        const size_t s = config.valueIsFloat ? 4 : 2;
        const std::span<const uint8_t> table = std::span<const uint8_t>(answer).subspan(2);
        const size_t shift = std::min(size_t{k} * s, table.size());
        collection.values.assign(table.begin() + static_cast<std::ptrdiff_t>(shift), table.end());
        collection.values.insert(collection.values.end(),
                                 table.end() - static_cast<std::ptrdiff_t>(shift), table.end());
        collection.complete = true;
    }
    results_.setComplete = false;
    const AsduTime& after = results_.asduTime;
    collection.timeTagChanged =
        before.milliseconds != after.milliseconds || before.hourMinute != after.hourMinute;
    return collection;
}
