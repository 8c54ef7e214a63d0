// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Microseconds of CLOCK_MONOTONIC: the time base of the simulator's line and of the test
// harness's timeouts.
uint64_t MonotonicMicroseconds();
