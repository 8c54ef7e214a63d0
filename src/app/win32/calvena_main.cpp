// SPDX-License-Identifier: MIT
// Calvena: the transducer metrology tool.
#include "app/win32/windows_api.h"

#include "app/calvena_window.h"
#include "app/win32/run_program.h"
#include "polling/calvena_variant.h"

namespace {

constexpr ProgramInfo kCalvena{
    "calvena",
    "Calvena, the transducer metrology tool: wakes a measuring transducer on a serial line,\n"
    "reads its configuration, polls it and shows its values and two clocks, logging every\n"
    "poll to a file if asked; sets the transducer's clock and starts its RTC test mode.\n"
    "The window is in Russian.\n"};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunProgram(kCalvena, CalvenaVariant(), CalvenaWindow(), {});
}
