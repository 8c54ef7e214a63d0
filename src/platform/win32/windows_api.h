// SPDX-License-Identifier: MIT
#pragma once

// The Windows API for the sources of this folder, without the macros that would collide with
// the project's names (min, max, and Yield, which winbase.h defines as nothing).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#ifdef Yield
#undef Yield
#endif
