// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

// A program started as a separate process, for tests that run real processes: its standard
// output comes through a pipe and is read line by line; its standard error goes to a file or
// stays the parent's. A child still running when this object goes is ended (SIGTERM, then
// SIGKILL after two seconds) and reaped.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program (a path) with the arguments; extraEnvironment holds "NAME=value" entries
    // added to (or replacing those of) this process's environment. An empty stderrPath keeps
    // the parent's standard error. False when the process could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& extraEnvironment = {},
               const std::string& stderrPath = "");

    // The next line of its standard output (without the line end), waiting at most timeoutMs;
    // nothing when no full line came in that time or the output ended.
    std::optional<std::string> ReadLine(unsigned timeoutMs);

    // Signals: Ctrl-C, a polite end, and the hard one.
    bool Interrupt();
    bool Terminate();
    bool Kill();

    // Waits at most timeoutMs for the process to end; its exit code, or 128 + the signal that
    // ended it; nothing while it still runs.
    std::optional<int> Wait(unsigned timeoutMs);
    bool Running();
    pid_t Pid() const { return pid_; }

  private:
    bool Send(int signalNumber);

    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    std::string pending_;
    std::optional<int> exitCode_;
};
