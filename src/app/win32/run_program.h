// SPDX-License-Identifier: MIT
#pragma once

#include "app/command_line.h"
#include "app/win32/brenno_dlg.h"
#include "polling/program_variant.h"

// The wWinMain of a program: the command line answered first (on the console the program was
// started from, or in a message box when there is none), then the real platform and the window.
int RunProgram(const ProgramInfo& program, const ProgramVariant& variant,
               const WindowDescription& window, CBrennoDlg::ParameterDialog parameterDialog);
