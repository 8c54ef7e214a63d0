// SPDX-License-Identifier: MIT
#include "polling/calvena_variant.h"

#include "catalogue/calvena_models.h"

const ProgramVariant& CalvenaVariant() {
    static const ProgramVariant variant = [] {
        using C = ViewControl;
        ProgramVariant v;
        v.programName = "Calvena";
        v.catalogue = &CalvenaModelCatalogue();
        v.pollGroupRules = CalvenaPollGroupRules();
        v.minimumConfigAnswer = kCalvenaMinimumConfigAnswer;
        v.locksAtStartBegin = false;
        v.startLocks = {C::kStart, C::kWriteToFile, C::kTimeBase, C::kPortList, C::kPeriodField};
        v.stopEnables = v.startLocks;
        v.stopDisables = {C::kSyncClock, C::kRtcTest};
        v.clockButtons = {C::kSyncClock, C::kRtcTest};
        v.configTextBeforeScan = false;
        v.syncShowsStatus = true;
        v.clockValueSkipped = false;
        v.floatCaptionsForClockFloatGroup = false;
        v.hasDataFormatSwitch = false;
        v.hasIecControls = false;
        v.hasPanelFrames = false;
        v.initialCaptions = {"Ia", "Ib", "F", "Ua", "Ub", "Uc", "Uab", "Ubc", "Uca"};
        return v;
    }();
    return variant;
}
