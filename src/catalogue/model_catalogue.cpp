// SPDX-License-Identifier: MIT
#include "catalogue/model_catalogue.h"

#include <algorithm>

std::optional<size_t> SlotOfCaptionId(int captionId) {
    for (size_t slot = 0; slot < kSlotCount; ++slot) {
        if (kSlotControls[slot].captionId == captionId) {
            return slot;
        }
    }
    return std::nullopt;
}

std::string_view VisibleModelText(std::string_view modelName) {
    return modelName.substr(0, modelName.find('\0'));
}

bool ModelHasKey(std::string_view modelName, std::string_view key) {
    return VisibleModelText(modelName).find(key) != std::string_view::npos;
}

size_t IdentifyModel(const ModelCatalogue& catalogue, std::string_view modelName, Panel& panel) {
    size_t applied = 0;
    for (const CatalogueRow& row : catalogue.rows) {
        if (!ModelHasKey(modelName, row.key)) {
            continue;
        }
        ++applied;
        const size_t columns = std::min(row.cells.size(), catalogue.columnCaptionIds.size());
        for (size_t column = 0; column < columns; ++column) {
            const auto slot = SlotOfCaptionId(catalogue.columnCaptionIds[column]);
            if (slot && row.cells[column]) {
                panel.captions[*slot] = std::string(*row.cells[column]);
            }
        }
        if (row.frames) {
            panel.frames = *row.frames;
        }
    }
    return applied;
}
