// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "catalogue/model_catalogue.h"
#include "catalogue/poll_groups.h"
#include "polling/dialog_view.h"

// What makes one program of the pair: its catalogue, its control set and the few rules of the
// polling loop in which the two differ. The shared controller reads this description; each
// executable links its own.
struct ProgramVariant {
    std::string programName;  // "Polmira", "Calvena"
    const ModelCatalogue* catalogue = nullptr;
    PollGroupRules pollGroupRules;
    // The shortest answer to the configuration request that counts as a record.
    size_t minimumConfigAnswer = 5;

    // Start locks the settings controls at its beginning (and gives "Стоп" the focus), or only
    // once the configuration has been read.
    bool locksAtStartBegin = true;
    std::vector<ViewControl> startLocks;
    // Controls that Start enables for an IEC-101 transducer (delay measurement, "ASDU").
    std::vector<ViewControl> iecEnables;
    // Controls Stop enables and disables.
    std::vector<ViewControl> stopEnables;
    std::vector<ViewControl> stopDisables;
    // Start enables the clock buttons when the transducer keeps a clock (after the lock).
    std::vector<ViewControl> clockButtons;

    // The clock synchronisation shows "Синхронизация RTC" in the status line.
    bool syncShowsStatus = false;

    // "Чтение конфигурации" before the scan, or once the configuration request has been sent.
    bool configTextBeforeScan = true;

    // The display skips the value of the clock's first register (the clock block is read
    // instead), and shows 32-bit captions when the clock sits in a group of 32-bit values.
    bool clockValueSkipped = true;
    bool floatCaptionsForClockFloatGroup = true;
    // The window has the data-format switch (codes or physical units) and the IEC-101 controls
    // (poll kind and interrogation group).
    bool hasDataFormatSwitch = true;
    bool hasIecControls = true;
    // The window has the panel frames that the catalogue chooses between.
    bool hasPanelFrames = true;

    // Captions of the nine slots when the window opens, in slot order.
    SlotCaptions initialCaptions;
};
