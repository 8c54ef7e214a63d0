// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/child_process.h"

// transducer-sim as a separate process on a new pseudo-terminal, with a private runtime
// directory of its own (so that it publishes its port there and not in the user's list), its
// standard error kept in a file of that directory.
class SimProcess {
  public:
    // Starts the simulator with the arguments and waits for the port name it prints.
    explicit SimProcess(const std::vector<std::string>& arguments,
                        const std::filesystem::path& runtimeDir = {});
    ~SimProcess();

    // The published port (empty when the simulator did not come up).
    const std::string& PortPath() const { return portPath_; }
    const std::filesystem::path& RuntimeDir() const { return runtimeDir_; }
    std::string Stderr() const;
    ChildProcess& Process() { return process_; }

    // SIGTERM, then its exit code (nothing when it did not end within five seconds).
    std::optional<int> Stop();

    // A new private directory (0700) for a runtime directory or a test's files.
    static std::filesystem::path MakePrivateDirectory(const std::string& prefix);
    static const char* ProgramPath();

  private:
    std::filesystem::path runtimeDir_;
    bool ownsRuntimeDir_ = false;
    ChildProcess process_;
    std::string portPath_;
};
