#include "app/dialog_template.h"

#include <gtest/gtest.h>

#include <set>

#include "app/calvena_window.h"
#include "app/polmira_window.h"
#include "catalogue/model_catalogue.h"

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

void ExpectRolesPointIntoTheTemplate(const WindowDescription& window) {
    const DialogTemplate& t = window.mainWindow;
    std::set<int> ids;
    for (const ControlTemplate& c : t.controls) {
        if (c.id >= 0) {
            EXPECT_TRUE(ids.insert(c.id).second) << "id used twice: " << c.id;
        }
        // Inside the window.
        EXPECT_LE(c.x + c.width, t.width + 1) << c.id << " " << c.caption;
        EXPECT_LE(c.y + (c.kind == ControlKind::kDropDownList ? 12 : c.height), t.height)
            << c.id << " " << c.caption;
    }
    for (const auto& role : window.roles.texts)
        EXPECT_TRUE(ids.count(role.id)) << role.id;
    for (const auto& role : window.roles.controls)
        EXPECT_TRUE(ids.count(role.id)) << role.id;
    for (const auto& role : window.roles.frames)
        EXPECT_TRUE(ids.count(role.id)) << role.id;
    for (const SlotControls& slot : kSlotControls) {
        EXPECT_TRUE(ids.count(slot.captionId) && ids.count(slot.valueId)) << slot.captionId;
        EXPECT_EQ(t.Find(slot.valueId)->kind, ControlKind::kEdit);
        EXPECT_TRUE(t.Find(slot.valueId)->readOnly);
    }
    for (int id : {window.roles.portList, window.roles.timeBaseList}) {
        EXPECT_EQ(t.Find(id)->kind, ControlKind::kDropDownList);
        EXPECT_TRUE(t.Find(id)->sorted);
    }
}

TEST(WindowTemplates, ViewerControlsAndRoles) {
    const WindowDescription& w = PolmiraWindow();
    EXPECT_EQ(w.mainWindow.caption, "Polmira");
    EXPECT_EQ(w.mainWindow.width, 344);
    EXPECT_EQ(w.mainWindow.height, 216);
    EXPECT_EQ(w.mainWindow.fontFamily, "Courier New");
    EXPECT_EQ(w.mainWindow.pointSize, 12);
    ExpectRolesPointIntoTheTemplate(w);
    EXPECT_TRUE(w.mainWindow.Find(1016)->isDefault);
    EXPECT_TRUE(w.mainWindow.Find(1032)->startsGroup);
    EXPECT_TRUE(w.mainWindow.Find(1034)->multiLine);
    EXPECT_EQ(w.mainWindow.Find(1025)->items, (std::vector<std::string>{"GMT", "Local"}));
    EXPECT_EQ(w.roles.IdOf(ViewText::kStatusLine), 1042);
    EXPECT_EQ(w.roles.IdOf(ViewControl::kRtcTest), std::nullopt);
    EXPECT_EQ(w.aboutMenuText, "&Сведения о Polmira");
    EXPECT_EQ(w.aboutBox.width, 203);
    EXPECT_EQ(InputAddressTemplate().Find(1044)->kind, ControlKind::kDropDownList);
}

TEST(WindowTemplates, MetrologyToolControlsAndRoles) {
    const WindowDescription& w = CalvenaWindow();
    EXPECT_EQ(w.mainWindow.caption, "Calvena");
    EXPECT_EQ(w.mainWindow.width, 250);
    EXPECT_EQ(w.mainWindow.height, 197);
    ExpectRolesPointIntoTheTemplate(w);
    for (int id : {1010, 1011, 1012, 1013})
        EXPECT_TRUE(w.mainWindow.Find(id)->hidden) << id;
    EXPECT_TRUE(w.mainWindow.Find(1027)->disabled);
    EXPECT_TRUE(w.mainWindow.Find(1041)->disabled);
    EXPECT_EQ(w.roles.IdOf(ViewText::kStatusLine), 1031);
    EXPECT_EQ(w.roles.IdOf(ViewControl::kRtcTest), 1041);
    EXPECT_EQ(w.roles.IdOf(ViewControl::kDataFormat), std::nullopt);
    EXPECT_EQ(w.aboutBox.width, 197);
}

}  // namespace
