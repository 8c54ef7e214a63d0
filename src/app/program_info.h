// SPDX-License-Identifier: MIT
#pragma once

#include "app/command_line.h"

// What each program says of itself on --help, the same in both front ends.

inline constexpr ProgramInfo kPolmiraProgram{
    "polmira",
    "Polmira, the transducer viewer: wakes a measuring transducer on a serial line, reads its\n"
    "configuration, polls it over Modbus ASCII/RTU or IEC 60870-5-101 and shows nine values\n"
    "and two clocks, logging every poll to a file if asked. The window is in Russian.\n"};

inline constexpr ProgramInfo kCalvenaProgram{
    "calvena",
    "Calvena, the transducer metrology tool: wakes a measuring transducer on a serial line,\n"
    "reads its configuration, polls it and shows its values and two clocks, logging every\n"
    "poll to a file if asked; sets the transducer's clock and starts its RTC test mode.\n"
    "The window is in Russian.\n"};
