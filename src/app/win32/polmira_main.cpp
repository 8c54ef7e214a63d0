// SPDX-License-Identifier: MIT
// Polmira: the transducer viewer.
#include "app/win32/windows_api.h"

#include "app/polmira_window.h"
#include "app/program_info.h"
#include "app/win32/input_address_dlg.h"
#include "app/win32/run_program.h"
#include "polling/polmira_variant.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunProgram(kPolmiraProgram, PolmiraVariant(), PolmiraWindow(), &CInputAddress::Choose);
}
