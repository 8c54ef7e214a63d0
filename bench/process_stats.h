// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <cstdint>

// What the process-level benchmarks read about processes: the processor time a process has
// used (all its threads, on-CPU time as the scheduler counts it, user and system together, in
// nanoseconds), its peak resident memory, and the wall clock.

// On-CPU time of every thread of the process so far (/proc/PID/task/*/schedstat); 0 when the
// process is gone.
uint64_t ProcessCpuNs(pid_t pid);
// The same for this process.
uint64_t SelfCpuNs();
// Peak resident set size of this process in KiB (VmHWM).
uint64_t SelfPeakRssKb();
// CLOCK_MONOTONIC in microseconds.
uint64_t WallUs();
