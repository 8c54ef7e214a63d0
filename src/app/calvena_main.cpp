// Calvena: the transducer metrology tool.
#include "app/brenno_app.h"
#include "app/calvena_window.h"
#include "polling/calvena_variant.h"

int main(int argc, char** argv) {
    return RunProgram(argc, argv, CalvenaVariant(), CalvenaWindow(), {});
}
