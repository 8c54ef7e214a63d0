// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialog_template.h"

// The viewer's windows: the main window with the IEC-101 controls and the data-format switch,
// its about box, and the parameter dialog.
const WindowDescription& PolmiraWindow();
// "Выбор параметра для чтения" (template 103).
const DialogTemplate& InputAddressTemplate();
