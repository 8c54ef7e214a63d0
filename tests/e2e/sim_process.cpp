// SPDX-License-Identifier: MIT
#include "e2e/sim_process.h"

#include <atomic>
#include <random>

#include "support/log_text.h"

SimProcess::SimProcess(const std::vector<std::string>& arguments,
                       const std::filesystem::path& runtimeDir) {
    runtimeDir_ = runtimeDir;
    if (runtimeDir_.empty()) {
        runtimeDir_ = MakePrivateDirectory("simprog-e2e-run");
        ownsRuntimeDir_ = true;
    }
    const std::string stderrPath = (runtimeDir_ / "sim-stderr.txt").string();
    if (process_.Start(ProgramPath(), arguments, {"XDG_RUNTIME_DIR=" + runtimeDir_.string()},
                       stderrPath)) {
        portPath_ = process_.ReadLine(5000).value_or("");
    }
}

SimProcess::~SimProcess() {
    Stop();
    if (ownsRuntimeDir_) {
        std::error_code ignored;
        std::filesystem::remove_all(runtimeDir_, ignored);
    }
}

std::string SimProcess::Stderr() const {
    return FileText(runtimeDir_ / "sim-stderr.txt");
}

std::optional<int> SimProcess::Stop() {
    process_.Terminate();
    return process_.Wait(5000);
}

std::filesystem::path SimProcess::MakePrivateDirectory(const std::string& prefix) {
    static std::atomic<unsigned> serial{0};
    std::random_device random;
    for (;;) {
        const std::filesystem::path dir =
            std::filesystem::temp_directory_path() /
            (prefix + "-" + std::to_string(random()) + "-" + std::to_string(serial++));
        if (std::filesystem::create_directory(dir)) {
            std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace);
            return dir;
        }
    }
}

const char* SimProcess::ProgramPath() {
    return TRANSDUCER_SIM_PATH;
}
