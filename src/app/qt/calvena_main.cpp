// SPDX-License-Identifier: MIT
// Calvena: the transducer metrology tool.
#include "app/calvena_window.h"
#include "app/program_info.h"
#include "app/qt/brenno_app.h"
#include "polling/calvena_variant.h"

int main(int argc, char** argv) {
    return RunProgram(argc, argv, kCalvenaProgram, CalvenaVariant(), CalvenaWindow(), {});
}
