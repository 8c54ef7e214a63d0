// SPDX-License-Identifier: MIT
// The controller's side of polling an IEC 60870-5-101 station: the parameter dialog's entries,
// the preparation at Start, the collection of a tick (the session does the exchanges), and the
// clock synchronisation over IEC-101.

#include <algorithm>

#include "catalogue/number_text.h"
#include "catalogue/parameter_naming.h"
#include "iec101/iec101_commands.h"
#include "polling/clock_procedures.h"
#include "polling/polling_controller.h"

namespace {

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
    iec_.Prepare(config_, plan_, SelectedGroup(), {pollKind_, pollPeriod_, chosenParameterName_});
}

uint8_t PollingController::CollectIecAnswer() {
    IecCollection collection = iec_.Collect(config_, plan_);
    iecValues_ = std::move(collection.values);
    iecSetComplete_ = collection.complete;
    if (collection.complete && variant_.hasIecControls) {
        view_.SetText(ViewText::kAsduField, FormatInteger(iec_.Results().valueType));
    }
    if (!collection.timeTagChanged) {
        if (clockStaleCount_ < 3) {
            ++clockStaleCount_;
        }
        if (clockStaleCount_ >= 3) {
            view_.SetText(ViewText::kTransducerTime, TransducerTimePlaceholder());
        }
    } else {
        clockStaleCount_ = 0;
    }
    return collection.code;
}

void PollingController::StopWithMessage(const std::string& text) {
    OnStop();
    Notify(text, kErrorCaption, MessageIcon::kNone);
}

void PollingController::DispatchInExchange(uint32_t milliseconds) {
    view_.PumpMessagesFor(milliseconds);  // ticks arriving here are ignored (no tick in a tick)
    if (guard_.Stopped()) {
        throw TickAborted{};
    }
}

void PollingController::ArmPollTimer(uint32_t periodMs) {
    view_.ArmTimer(periodMs);
}

void PollingController::KillPollTimer() {
    view_.KillTimer();
}

void PollingController::SyncClockOverIec() {
    // The clock is always set at link address 1.
    const IecClockSetting setting = SetClockOverIec(
        iec_.Master(), channel_, clock_, LinkConfigOf(config_, SelectedGroup()), localTime_);
    if (!setting.linkAnswered) {
        StopWithMessage("Ошибка при инициализации канала");
    } else if (!setting.linkReset) {
        return;  // the poll timer stays stopped
    } else if (!Acknowledged(setting.confirmation)) {
        StopWithMessage(Iec101ResultMessage(setting.afterConfirmation));
    }
    OnStart();
}
