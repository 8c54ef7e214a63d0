// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The nine value slots of the measurement panel and the model catalogue that sets their
// captions from the transducer's model text.

inline constexpr size_t kSlotCount = 9;

// The window controls of one slot: its caption and its value field.
struct SlotControls {
    int captionId;
    int valueId;
};

// The slots in the fixed order in which captions are set, units added and values placed.
inline constexpr std::array<SlotControls, kSlotCount> kSlotControls{{
    {1010, 1011},
    {1012, 1013},
    {1014, 1015},
    {1004, 1005},
    {1006, 1007},
    {1008, 1009},
    {1017, 1018},
    {1019, 1020},
    {1021, 1022},
}};

// The slot whose caption control has this id.
std::optional<size_t> SlotOfCaptionId(int captionId);

using SlotCaptions = std::array<std::string, kSlotCount>;

// Frames of the viewer's panel: single-phase shows "AC", "DC" and "AC + DC" (1036, 1037, 1038)
// and hides "Измеряемые параметры" (1043); three-phase the other way round.
enum class FrameLayout { SinglePhase, ThreePhase };
inline constexpr std::array<int, 3> kSinglePhaseFrameIds{1036, 1037, 1038};
inline constexpr int kThreePhaseFrameId = 1043;

// What the catalogue sets: the captions in slot order and the frame layout.
struct Panel {
    SlotCaptions captions;
    FrameLayout frames = FrameLayout::SinglePhase;

    friend bool operator==(const Panel&, const Panel&) = default;
};

// A catalogue cell: a caption (possibly empty) or kUnchanged.
using CaptionCell = std::optional<std::string_view>;
inline constexpr std::nullopt_t kUnchanged = std::nullopt;

struct CatalogueRow {
    std::string_view key;
    std::vector<CaptionCell> cells;     // one per column of the catalogue
    std::optional<FrameLayout> frames;  // no value: the row does not choose frames
};

// A program's catalogue: the caption controls its columns stand for, and its rows in the order
// they are tested. Slots without a column are never touched.
struct ModelCatalogue {
    std::vector<int> columnCaptionIds;
    std::vector<CatalogueRow> rows;
};

// The model text as far as it is visible: up to the first zero character.
std::string_view VisibleModelText(std::string_view modelName);

// Case-sensitive substring test of the visible model text.
bool ModelHasKey(std::string_view modelName, std::string_view key);

// Tests every row in order and applies each one whose key the model text contains, so that a
// later row wins over an earlier one except in the slots it leaves unchanged. Returns the
// number of rows applied; 0 leaves the panel as it was.
size_t IdentifyModel(const ModelCatalogue& catalogue, std::string_view modelName, Panel& panel);
