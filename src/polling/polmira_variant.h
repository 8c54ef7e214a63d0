// SPDX-License-Identifier: MIT
#pragma once

#include "polling/program_variant.h"

// The viewer: IEC-101 controls, the data-format switch, the delay measurement.
const ProgramVariant& PolmiraVariant();
