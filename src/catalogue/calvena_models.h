// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

#include "catalogue/model_catalogue.h"
#include "catalogue/poll_groups.h"

// The metrology tool's own catalogue data.

// Its model catalogue: seven columns (slots 1010 and 1012 are never set) and no frame choice.
const ModelCatalogue& CalvenaModelCatalogue();

// Its poll-group rules: no poll kinds, 32-bit values not polled outside IEC-101, the clock
// block alone polled as a second group.
PollGroupRules CalvenaPollGroupRules();

// The shortest answer to the configuration request that it accepts.
inline constexpr size_t kCalvenaMinimumConfigAnswer = 6;
