// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

#include "catalogue/model_catalogue.h"
#include "catalogue/poll_groups.h"

// The viewer's own catalogue data.

// Its model catalogue: nine columns in slot order and a frame choice per row.
const ModelCatalogue& PolmiraModelCatalogue();

// Its poll-group rules: the single "Чтение (102)" group, 32-bit values polled, the group with
// the clock kept when there are two.
PollGroupRules PolmiraPollGroupRules();

// The shortest answer to the configuration request that it accepts.
inline constexpr size_t kPolmiraMinimumConfigAnswer = 5;
