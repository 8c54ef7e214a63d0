// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/calvena_models.h"
#include "catalogue/model_catalogue.h"
#include "catalogue/polmira_models.h"

namespace {

// Captions listed by caption control id, in slot order.
SlotCaptions Captions(std::initializer_list<std::pair<int, std::string>> byId) {
    SlotCaptions captions;
    for (const auto& [id, text] : byId) {
        captions[SlotOfCaptionId(id).value()] = text;
    }
    return captions;
}

Panel PolmiraInitialPanel() {
    return {Captions({{1004, "Udc1"},
                      {1006, "Udc2"},
                      {1010, "Uac1"},
                      {1012, "Uac2"},
                      {1017, "Uacdc1"},
                      {1019, "Uacdc2"}}),
            FrameLayout::SinglePhase};
}

Panel CalvenaInitialPanel() {
    return {Captions({{1004, "Ua"},
                      {1006, "Ub"},
                      {1008, "Uc"},
                      {1010, "Ia"},
                      {1012, "Ib"},
                      {1014, "F"},
                      {1017, "Uab"},
                      {1019, "Ubc"},
                      {1021, "Uca"}}),
            FrameLayout::SinglePhase};
}

TEST(SlotOrder, EveryCaptionControlLeadsBackToItsSlot) {
    std::set<int> ids;
    for (size_t slot = 0; slot < kSlotCount; ++slot) {
        const SlotControls& controls = kSlotControls[slot];
        EXPECT_EQ(SlotOfCaptionId(controls.captionId), slot);
        // The value field's id follows its caption's, and is no caption itself.
        EXPECT_EQ(controls.valueId, controls.captionId + 1) << slot;
        EXPECT_FALSE(SlotOfCaptionId(controls.valueId).has_value()) << slot;
        EXPECT_TRUE(ids.insert(controls.captionId).second) << controls.captionId;
        EXPECT_TRUE(ids.insert(controls.valueId).second) << controls.valueId;
    }
    for (int other : {0, 1003, 1023, 1036}) {
        EXPECT_FALSE(SlotOfCaptionId(other).has_value()) << other;
    }
}

TEST(ModelCatalogue, EveryKeyAloneAppliesItsOwnRowAndBothProgramsKnowTheSameModels) {
    for (const ModelCatalogue* catalogue : {&PolmiraModelCatalogue(), &CalvenaModelCatalogue()}) {
        std::set<int> columns;
        for (int id : catalogue->columnCaptionIds) {
            EXPECT_TRUE(SlotOfCaptionId(id).has_value()) << id << " is no slot's caption";
            EXPECT_TRUE(columns.insert(id).second) << id << " is two columns";
        }
        for (const CatalogueRow& row : catalogue->rows) {
            EXPECT_EQ(row.cells.size(), catalogue->columnCaptionIds.size()) << row.key;
            // A key inside another would make that model apply two rows.
            Panel panel;
            EXPECT_EQ(IdentifyModel(*catalogue, row.key, panel), 1u) << row.key;
        }
    }
    std::vector<std::string_view> polmira;
    std::vector<std::string_view> calvena;
    for (const CatalogueRow& row : PolmiraModelCatalogue().rows) {
        polmira.push_back(row.key);
    }
    for (const CatalogueRow& row : CalvenaModelCatalogue().rows) {
        calvena.push_back(row.key);
        EXPECT_FALSE(row.frames.has_value()) << row.key;
    }
    EXPECT_EQ(polmira, calvena);
    EXPECT_FALSE(polmira.empty());
}

struct PolmiraCase {
    const char* model;
    SlotCaptions captions;
    FrameLayout frames;
};

TEST(ModelCatalogue, PolmiraRowsFromTheInitialPanel) {
    const auto initial = PolmiraInitialPanel();
    const PolmiraCase cases[] = {
        {"TQ10", Captions({{1010, "Iac1"}}), FrameLayout::SinglePhase},
        {"TQ20-1",
         Captions({{1010, "Iac1"},
                   {1012, "Iac2"},
                   {1004, "Idc1"},
                   {1006, "Idc2"},
                   {1017, "Iacdc1"},
                   {1019, "Iacdc2"}}),
         FrameLayout::SinglePhase},
        // Sets the captions the panel starts with.
        {"TQ22", initial.captions, FrameLayout::SinglePhase},
        {"xTQ21",
         Captions({{1010, "Uac1"},
                   {1012, "Uac2"},
                   {1014, "F"},
                   {1004, "Udc1"},
                   {1006, "Udc2"},
                   {1017, "Uacdc1"},
                   {1019, "Uacdc2"}}),
         FrameLayout::SinglePhase},
        // Leaves the left panel as it was.
        {"TQ23",
         Captions({{1010, "Uac1"},
                   {1012, "Uac2"},
                   {1004, "Udc1"},
                   {1006, "Udc2"},
                   {1017, "Uacdc1"},
                   {1019, "Uacdc2"}}),
         FrameLayout::SinglePhase},
        // "Iac1" twice.
        {"TQ30",
         Captions({{1010, "Iac1"},
                   {1012, "Iac1"},
                   {1004, "Idc1"},
                   {1006, "Idc2"},
                   {1017, "Iacdc1"},
                   {1019, "Iacdc2"}}),
         FrameLayout::SinglePhase},
        {"TQ41",
         Captions({{1010, "Ua"},
                   {1012, "Ub"},
                   {1014, "Uc"},
                   {1008, "F"},
                   {1017, "Uab"},
                   {1019, "Ubc"},
                   {1021, "Uca"}}),
         FrameLayout::ThreePhase},
        {"TQ43", Captions({{1004, "Ulp-m"}, {1006, "Uln-m"}, {1008, "Ulp-ln"}, {1021, "Ud "}}),
         FrameLayout::ThreePhase},
        {"TQ51-220",
         Captions({{1010, "Ua"},
                   {1012, "Ub"},
                   {1014, "Uc"},
                   {1008, "F"},
                   {1017, "Uab"},
                   {1019, "Ubc"},
                   {1021, "Uca"}}),
         FrameLayout::ThreePhase},
    };
    for (const auto& k : cases) {
        Panel panel = initial;
        EXPECT_EQ(IdentifyModel(PolmiraModelCatalogue(), k.model, panel), 1u) << k.model;
        EXPECT_EQ(panel, (Panel{k.captions, k.frames})) << k.model;
    }
}

TEST(ModelCatalogue, UnknownLowerCaseAndHiddenKeysChangeNothing) {
    for (const std::string& model :
         {std::string("tq21"), std::string("TQ2 1"), std::string("XYZ"), std::string("\0TQ21", 5),
          std::string("TQ", 2) + '\0' + "21", std::string()}) {
        Panel panel = PolmiraInitialPanel();
        panel.frames = FrameLayout::ThreePhase;
        const Panel before = panel;
        EXPECT_EQ(IdentifyModel(PolmiraModelCatalogue(), model, panel), 0u) << model;
        EXPECT_EQ(panel, before);
    }
    EXPECT_EQ(VisibleModelText(std::string("TQ\0x", 4)), "TQ");
    EXPECT_TRUE(ModelHasKey("12TQ2234", "TQ22"));
    EXPECT_FALSE(ModelHasKey("12tq2234", "TQ22"));
}

TEST(ModelCatalogue, LaterRowWinsExceptWhereItLeavesSlotsUnchanged) {
    Panel panel = PolmiraInitialPanel();
    // Both keys: "TQ30" is tested after "TQ10" and sets every slot.
    EXPECT_EQ(IdentifyModel(PolmiraModelCatalogue(), "TQ10TQ30", panel), 2u);
    EXPECT_EQ(panel.captions[1], "Iac1");
    EXPECT_EQ(panel.captions[3], "Idc1");

    // "TQ41" then "TQ23" at the next Start: the left panel keeps the three-phase captions (with
    // the unit they gained meanwhile), the frames return to single-phase.
    panel = PolmiraInitialPanel();
    IdentifyModel(PolmiraModelCatalogue(), "TQ41", panel);
    EXPECT_EQ(panel.frames, FrameLayout::ThreePhase);
    panel.captions[0] += ", V";
    IdentifyModel(PolmiraModelCatalogue(), "TQ23", panel);
    EXPECT_EQ(panel, (Panel{Captions({{1010, "Ua, V"},
                                      {1012, "Ub"},
                                      {1014, "Uc"},
                                      {1004, "Udc1"},
                                      {1006, "Udc2"},
                                      {1017, "Uacdc1"},
                                      {1019, "Uacdc2"}}),
                            FrameLayout::SinglePhase}));

    // In one model text: "TQ23" (earlier row) and "TQ41" (later row): "TQ41" wins everywhere.
    panel = PolmiraInitialPanel();
    IdentifyModel(PolmiraModelCatalogue(), "TQ23TQ41", panel);
    EXPECT_EQ(panel.captions[3], "");
    EXPECT_EQ(panel.frames, FrameLayout::ThreePhase);
}

TEST(ModelCatalogue, CalvenaRowsNeverTouchTheHiddenSlots) {
    struct Case {
        const char* model;
        SlotCaptions captions;
    };
    const Case cases[] = {
        {"TQ10", Captions({{1004, "Iac1"}})},
        {"TQ20", Captions({{1004, "Iac1"}, {1006, "Iac2"}})},
        {"TQ21", Captions({{1004, "Uac1"}, {1006, "Uac2"}, {1014, "F"}})},
        {"TQ22", Captions({{1004, "Udc1"}, {1006, "Udc2"}})},
        {"TQ23", Captions({{1004, "Udc1"}, {1006, "Udc2"}})},
        {"TQ30", Captions({{1004, "Idc1"}, {1006, "Idc2"}})},
        {"TQ41", Captions({{1017, "Uab"}, {1019, "Ubc"}, {1021, "Uca"}, {1014, "F"}})},
        {"TQ43", Captions({{1004, "Ulp-ln"}, {1006, "Uln-m"}, {1008, "Ulp-m"}, {1021, "Ud "}})},
        {"TQ51", Captions({{1004, "Ua"},
                           {1006, "Ub"},
                           {1008, "Uc"},
                           {1017, "Uab"},
                           {1019, "Ubc"},
                           {1021, "Uca"},
                           {1014, "F"}})},
    };
    for (const auto& k : cases) {
        Panel panel = CalvenaInitialPanel();
        panel.frames = FrameLayout::ThreePhase;  // no row chooses frames
        EXPECT_EQ(IdentifyModel(CalvenaModelCatalogue(), k.model, panel), 1u);
        SlotCaptions want = k.captions;
        want[0] = "Ia";
        want[1] = "Ib";
        EXPECT_EQ(panel, (Panel{want, FrameLayout::ThreePhase})) << k.model;
    }
}

}  // namespace
