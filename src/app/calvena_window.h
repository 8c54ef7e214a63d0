// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialog_template.h"

// The metrology tool's windows: the main window with the RTC test, and its about box.
const WindowDescription& CalvenaWindow();
