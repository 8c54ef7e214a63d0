// SPDX-License-Identifier: MIT
#include "bench/process_stats.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/monotonic_time.h"

uint64_t ProcessCpuNs(pid_t pid) {
    uint64_t total = 0;
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream in(task.path() / "schedstat");
        uint64_t onCpu = 0;
        if (in >> onCpu) {
            total += onCpu;
        }
    }
    return total;
}

uint64_t SelfCpuNs() {
    return ProcessCpuNs(getpid());
}

uint64_t SelfPeakRssKb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmHWM:") {
            uint64_t kb = 0;
            in >> kb;
            return kb;
        }
        std::getline(in, key);
    }
    return 0;
}

uint64_t WallUs() {
    return MonotonicMicroseconds();
}
