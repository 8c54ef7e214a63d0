// SPDX-License-Identifier: MIT
#include "app/dialog_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/calvena_window.h"
#include "app/polmira_window.h"
#include "catalogue/calvena_models.h"
#include "catalogue/model_catalogue.h"
#include "catalogue/polmira_models.h"

namespace {

TEST(DialogUnits, AverageWidthRoundsAsTheDialogManager) {
    // 52 letters of 10 px: 520 / 26 = 20, (20 + 1) / 2 = 10.
    EXPECT_EQ(AverageCharWidth(520), 10);
    // 7.5 px letters (390 px) round up to 8; 7.4 px letters (385) give 7.
    EXPECT_EQ(AverageCharWidth(390), 8);
    EXPECT_EQ(AverageCharWidth(385), 7);
    EXPECT_EQ(AverageCharWidth(0), 0);
}

TEST(DialogUnits, MapRoundsHalvesAwayFromZero) {
    const DialogBaseUnits base{7, 15};
    // 30 * 7 / 4 = 52.5 -> 53; 12 * 15 / 8 = 22.5 -> 23; 2 * 7 / 4 = 3.5 -> 4; 1 * 15 / 8 = 1.875.
    EXPECT_EQ(MapDialogRect(2, 1, 30, 12, base), (PixelRect{4, 2, 53, 23}));
    EXPECT_EQ(DialogUnitsToPixelsX(-2, base), -4);
    EXPECT_EQ(DialogUnitsToPixelsY(-4, base), -8);  // -7.5 -> -8
    EXPECT_EQ(DialogUnitsToPixelsX(0, base), 0);
    // The main window in a 10 x 18 px font: 344 x 216 units.
    const DialogBaseUnits courier{10, 18};
    EXPECT_EQ(MapDialogRect(0, 0, 344, 216, courier), (PixelRect{0, 0, 860, 486}));
    EXPECT_EQ(MapDialogRect(120, 156, 30, 12, courier), (PixelRect{300, 351, 75, 27}));
}

// The control with this id; a missing one fails the test with its id.
const ControlTemplate& ControlOf(const DialogTemplate& t, int id) {
    const ControlTemplate* c = t.Find(id);
    if (c == nullptr) {
        throw std::out_of_range("no control " + std::to_string(id) + " in " + t.caption);
    }
    return *c;
}

// A template's own consistency: ids unique, every control inside the window, each flag only on a
// kind of control that takes it (on another kind the window builder does nothing with it), at
// most one default button.
void ExpectControlsFitTheTemplate(const DialogTemplate& t) {
    std::set<int> ids;
    int defaults = 0;
    for (const ControlTemplate& c : t.controls) {
        const std::string name = t.caption + " " + std::to_string(c.id) + " " + c.caption;
        if (c.id >= 0) {
            EXPECT_TRUE(ids.insert(c.id).second) << "id used twice: " << name;
        }
        EXPECT_GE(c.x, 0) << name;
        EXPECT_GE(c.y, 0) << name;
        EXPECT_LE(c.x + c.width, t.width + 1) << name;
        EXPECT_LE(c.y + (c.kind == ControlKind::kDropDownList ? 12 : c.height), t.height) << name;
        const bool list = c.kind == ControlKind::kDropDownList;
        EXPECT_TRUE(!c.readOnly || c.kind == ControlKind::kEdit) << name;
        EXPECT_TRUE(!c.sorted || list) << name;
        EXPECT_TRUE(!c.verticalScroll || list) << name;
        EXPECT_TRUE(c.items.empty() || list) << name;
        EXPECT_TRUE(!c.isDefault || c.kind == ControlKind::kPushButton) << name;
        EXPECT_TRUE(!c.startsGroup || c.kind == ControlKind::kRadioButton) << name;
        if (c.multiLine) {
            EXPECT_EQ(c.kind, ControlKind::kRadioButton) << name;
            EXPECT_GE(c.height, 16) << name << ": room for two lines of 8 units";
        }
        defaults += c.isDefault ? 1 : 0;
    }
    EXPECT_LE(defaults, 1) << t.caption;
}

// The radio group each radio button joins, as the window builds them: a button that starts a
// group, or the first of the template, opens one named after itself; the others join the last.
std::map<int, int> RadioGroups(const DialogTemplate& t) {
    std::map<int, int> groupOf;
    int current = -1;
    for (const ControlTemplate& c : t.controls) {
        if (c.kind == ControlKind::kRadioButton) {
            if (c.startsGroup || current < 0) {
                current = c.id;
            }
            groupOf[c.id] = current;
        }
    }
    return groupOf;
}

void ExpectRolesPointIntoTheTemplate(const WindowDescription& window) {
    const DialogTemplate& t = window.mainWindow;
    const WindowRoles& roles = window.roles;
    for (const auto& role : roles.texts) {
        EXPECT_NE(t.Find(role.id), nullptr) << role.id;
    }
    for (const auto& role : roles.controls) {
        EXPECT_NE(t.Find(role.id), nullptr) << role.id;
    }
    for (const auto& role : roles.frames) {
        ASSERT_NE(t.Find(role.id), nullptr) << role.id;
        EXPECT_EQ(t.Find(role.id)->kind, ControlKind::kGroupBox) << role.id;
    }
    for (const SlotControls& slot : kSlotControls) {
        ASSERT_TRUE(t.Find(slot.captionId) && t.Find(slot.valueId)) << slot.captionId;
        EXPECT_EQ(t.Find(slot.valueId)->kind, ControlKind::kEdit);
        EXPECT_TRUE(t.Find(slot.valueId)->readOnly);
    }
    for (int id : {roles.portList, roles.timeBaseList}) {
        ASSERT_NE(t.Find(id), nullptr) << id;
        EXPECT_EQ(t.Find(id)->kind, ControlKind::kDropDownList);
        EXPECT_TRUE(t.Find(id)->sorted);
    }
}

// The controls the window wires to the controller's commands are the ones the controller knows
// under the same roles (0 and no role where the window has none).
void ExpectClickWiringMatchesTheRoles(const WindowRoles& roles) {
    const auto idOf = [&roles](ViewControl role) { return roles.IdOf(role).value_or(0); };
    EXPECT_EQ(roles.portList, idOf(ViewControl::kPortList));
    EXPECT_EQ(roles.timeBaseList, idOf(ViewControl::kTimeBase));
    EXPECT_EQ(roles.startButton, idOf(ViewControl::kStart));
    EXPECT_EQ(roles.stopButton, idOf(ViewControl::kStop));
    EXPECT_EQ(roles.syncButton, idOf(ViewControl::kSyncClock));
    EXPECT_EQ(roles.delayButton, idOf(ViewControl::kDelayButton));
    EXPECT_EQ(roles.rtcTestButton, idOf(ViewControl::kRtcTest));
    EXPECT_EQ(roles.dataFormatBox, idOf(ViewControl::kDataFormat));
    EXPECT_EQ(roles.groupList, idOf(ViewControl::kGroupList));
    std::vector<int> pollKinds;
    for (ViewControl kind :
         {ViewControl::kPollKindGroup, ViewControl::kPollKindRead, ViewControl::kPollKindLink}) {
        if (roles.IdOf(kind)) {
            pollKinds.push_back(*roles.IdOf(kind));
        }
    }
    EXPECT_EQ(roles.pollKindButtons, pollKinds);
    EXPECT_NE(roles.startButton, 0);
    EXPECT_NE(roles.stopButton, 0);
}

struct Program {
    const char* name;
    const WindowDescription& window;
    const ModelCatalogue& catalogue;
};

std::vector<Program> Programs() {
    return {{"Polmira", PolmiraWindow(), PolmiraModelCatalogue()},
            {"Calvena", CalvenaWindow(), CalvenaModelCatalogue()}};
}

TEST(WindowTemplates, EveryTemplateHoldsItsControls) {
    for (const Program& p : Programs()) {
        SCOPED_TRACE(p.name);
        ExpectControlsFitTheTemplate(p.window.mainWindow);
        ExpectControlsFitTheTemplate(p.window.aboutBox);
    }
    ExpectControlsFitTheTemplate(InputAddressTemplate());
}

TEST(WindowTemplates, RolesNameControlsOfTheirKindAndTheWiringAgrees) {
    for (const Program& p : Programs()) {
        SCOPED_TRACE(p.name);
        ExpectRolesPointIntoTheTemplate(p.window);
        ExpectClickWiringMatchesTheRoles(p.window.roles);
    }
    // The viewer's frames are the ones the catalogue's frame layouts show and hide.
    const WindowRoles& roles = PolmiraWindow().roles;
    EXPECT_EQ(roles.IdOf(ViewFrame::kAc), kSinglePhaseFrameIds[0]);
    EXPECT_EQ(roles.IdOf(ViewFrame::kDc), kSinglePhaseFrameIds[1]);
    EXPECT_EQ(roles.IdOf(ViewFrame::kAcDc), kSinglePhaseFrameIds[2]);
    EXPECT_EQ(roles.IdOf(ViewFrame::kMeasured), kThreePhaseFrameId);
}

TEST(WindowTemplates, PollKindButtonsAreOneRadioGroupOfTheirOwn) {
    for (const Program& p : Programs()) {
        SCOPED_TRACE(p.name);
        const std::vector<int>& buttons = p.window.roles.pollKindButtons;
        const std::map<int, int> groupOf = RadioGroups(p.window.mainWindow);
        for (int id : buttons) {
            ASSERT_TRUE(groupOf.count(id)) << id << " is no radio button";
            EXPECT_EQ(groupOf.at(id), buttons.front()) << id;
        }
        for (const auto& [id, group] : groupOf) {
            const bool pollKind = std::find(buttons.begin(), buttons.end(), id) != buttons.end();
            EXPECT_EQ(pollKind, !buttons.empty() && group == buttons.front()) << id;
        }
    }
}

TEST(WindowTemplates, SlotsWithoutACatalogueColumnAreHidden) {
    for (const Program& p : Programs()) {
        SCOPED_TRACE(p.name);
        const std::vector<int>& columns = p.catalogue.columnCaptionIds;
        for (const SlotControls& slot : kSlotControls) {
            const bool column =
                std::find(columns.begin(), columns.end(), slot.captionId) != columns.end();
            const DialogTemplate& t = p.window.mainWindow;
            EXPECT_EQ(ControlOf(t, slot.captionId).hidden, !column) << slot.captionId;
            EXPECT_EQ(ControlOf(t, slot.valueId).hidden, !column) << slot.valueId;
        }
    }
}

TEST(WindowTemplates, ControlsDisabledAtFirstAreOnesTheControllerEnables) {
    for (const Program& p : Programs()) {
        SCOPED_TRACE(p.name);
        for (const ControlTemplate& c : p.window.mainWindow.controls) {
            if (!c.disabled) {
                continue;
            }
            const auto& roles = p.window.roles.controls;
            EXPECT_TRUE(std::any_of(roles.begin(), roles.end(),
                                    [&c](const auto& role) { return role.id == c.id; }))
                << c.id << " " << c.caption << " could never be enabled";
        }
    }
}

TEST(WindowTemplates, ViewerSlotsFillTheFramesInSlotOrder) {
    // Slots 0 to 2 in the "AC" frame, 3 to 5 in "DC", 6 to 8 in "AC + DC", each frame from the
    // top; the three-phase frame holds all nine.
    const DialogTemplate& t = PolmiraWindow().mainWindow;
    const auto inside = [](const ControlTemplate& c, const ControlTemplate& frame) {
        return c.x >= frame.x && c.y >= frame.y && c.x + c.width <= frame.x + frame.width &&
               c.y + c.height <= frame.y + frame.height;
    };
    const ControlTemplate& measured = ControlOf(t, kThreePhaseFrameId);
    for (size_t slot = 0; slot < kSlotCount; ++slot) {
        const ControlTemplate& frame = ControlOf(t, kSinglePhaseFrameIds[slot / 3]);
        for (int id : {kSlotControls[slot].captionId, kSlotControls[slot].valueId}) {
            EXPECT_TRUE(inside(ControlOf(t, id), frame)) << "slot " << slot << ": " << id;
            EXPECT_TRUE(inside(ControlOf(t, id), measured)) << "slot " << slot << ": " << id;
        }
        if (slot % 3 != 0) {
            EXPECT_GT(ControlOf(t, kSlotControls[slot].captionId).y,
                      ControlOf(t, kSlotControls[slot - 1].captionId).y)
                << "slot " << slot;
        }
    }
}

TEST(WindowTemplates, AboutBoxAndItsMenuItemNameTheProgram) {
    for (const Program& p : Programs()) {
        EXPECT_EQ(p.window.mainWindow.caption, p.name);
        EXPECT_EQ(p.window.aboutBox.caption, p.name);
        EXPECT_EQ(p.window.aboutMenuText, std::string("&Сведения о ") + p.name);
        const ControlTemplate* ok = p.window.aboutBox.Find(1);
        ASSERT_NE(ok, nullptr) << p.name;
        EXPECT_TRUE(ok->isDefault) << p.name;
    }
}

}  // namespace
