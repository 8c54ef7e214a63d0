// SPDX-License-Identifier: MIT
#pragma once

#include "polling/program_variant.h"

// The metrology tool: raw codes only, the RTC test, no IEC-101 controls of its own.
const ProgramVariant& CalvenaVariant();
