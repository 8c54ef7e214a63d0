// SPDX-License-Identifier: MIT
// Polmira: the transducer viewer.
#include "app/win32/windows_api.h"

#include "app/polmira_window.h"
#include "app/win32/input_address_dlg.h"
#include "app/win32/run_program.h"
#include "polling/polmira_variant.h"

namespace {

constexpr ProgramInfo kPolmira{
    "polmira",
    "Polmira, the transducer viewer: wakes a measuring transducer on a serial line, reads its\n"
    "configuration, polls it over Modbus ASCII/RTU or IEC 60870-5-101 and shows nine values\n"
    "and two clocks, logging every poll to a file if asked. The window is in Russian.\n"};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunProgram(kPolmira, PolmiraVariant(), PolmiraWindow(), &CInputAddress::Choose);
}
