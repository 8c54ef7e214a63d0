// Polmira: the transducer viewer.
#include "app/brenno_app.h"
#include "app/input_address_dlg.h"
#include "app/polmira_window.h"
#include "polling/polmira_variant.h"

int main(int argc, char** argv) {
    return RunProgram(argc, argv, PolmiraVariant(), PolmiraWindow(), &CInputAddress::Choose);
}
