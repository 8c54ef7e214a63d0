// SPDX-License-Identifier: MIT
// Polmira: the transducer viewer.
#include "app/polmira_window.h"
#include "app/program_info.h"
#include "app/qt/brenno_app.h"
#include "app/qt/input_address_dlg.h"
#include "polling/polmira_variant.h"

int main(int argc, char** argv) {
    return RunProgram(argc, argv, kPolmiraProgram, PolmiraVariant(), PolmiraWindow(),
                      &CInputAddress::Choose);
}
