// SPDX-License-Identifier: MIT
#pragma once

// windows.h for the front end, without its macros that rename the project's own names: min and
// max, and Yield (a no-op left from 16-bit Windows), which would rename Clock::Yield.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef Yield
