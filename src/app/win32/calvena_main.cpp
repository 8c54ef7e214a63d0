// SPDX-License-Identifier: MIT
// Calvena: the transducer metrology tool.
#include "app/win32/windows_api.h"

#include "app/calvena_window.h"
#include "app/program_info.h"
#include "app/win32/run_program.h"
#include "polling/calvena_variant.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunProgram(kCalvenaProgram, CalvenaVariant(), CalvenaWindow(), {});
}
