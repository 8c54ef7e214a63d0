// SPDX-License-Identifier: MIT
#include "polling/polmira_variant.h"

#include "catalogue/polmira_models.h"

const ProgramVariant& PolmiraVariant() {
    static const ProgramVariant variant = [] {
        using C = ViewControl;
        ProgramVariant v;
        v.programName = "Polmira";
        v.catalogue = &PolmiraModelCatalogue();
        v.pollGroupRules = PolmiraPollGroupRules();
        v.minimumConfigAnswer = kPolmiraMinimumConfigAnswer;
        v.locksAtStartBegin = true;
        v.startLocks = {C::kDataFormat,   C::kStart,        C::kWriteToFile, C::kTimeBase,
                        C::kPortList,     C::kGroupList,    C::kPeriodField, C::kPollKindGroup,
                        C::kPollKindRead, C::kPollKindLink, C::kDelayButton, C::kAsduLabel,
                        C::kAsduField,    C::kDelayResult};
        v.stopEnables = {C::kDataFormat,   C::kStart,       C::kWriteToFile, C::kTimeBase,
                         C::kPortList,     C::kGroupList,   C::kPeriodField, C::kPollKindGroup,
                         C::kPollKindRead, C::kPollKindLink};
        v.stopDisables = {C::kDelayButton, C::kAsduLabel, C::kAsduField, C::kDelayResult};
        v.iecEnables = v.stopDisables;
        v.configTextBeforeScan = true;
        v.clockValueSkipped = true;
        v.floatCaptionsForClockFloatGroup = true;
        v.hasDataFormatSwitch = true;
        v.hasIecControls = true;
        v.hasPanelFrames = true;
        v.initialCaptions = {"Uac1", "Uac2", "", "Udc1", "Udc2", "", "Uacdc1", "Uacdc2", ""};
        return v;
    }();
    return variant;
}
