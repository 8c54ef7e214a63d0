// SPDX-License-Identifier: MIT
#include "platform/posix/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/monotonic_time.h"

extern char** environ;

namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string key = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& e : extra) {
            replaced = replaced || e.substr(0, e.find('=')) == key;
        }
        if (!replaced) {
            merged.push_back(text);
        }
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& t : texts) {
        pointers.push_back(t.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (Running()) {
        Terminate();
        if (!Wait(2000)) {
            Kill();
            Wait(2000);
        }
    }
    if (stdoutFd_ >= 0) {
        close(stdoutFd_);
    }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& extraEnvironment,
                         const std::string& stderrPath) {
    if (pid_ > 0) {
        return false;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (!stderrPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    std::vector<std::string> argTexts = {program};
    argTexts.insert(argTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envTexts = MergedEnvironment(extraEnvironment);
    std::vector<char*> argv = Pointers(argTexts);
    std::vector<char*> envp = Pointers(envTexts);
    pid_t pid = -1;
    const int result =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (result != 0) {
        close(pipeFds[0]);
        return false;
    }
    fcntl(pipeFds[0], F_SETFL, fcntl(pipeFds[0], F_GETFL) | O_NONBLOCK);
    pid_ = pid;
    stdoutFd_ = pipeFds[0];
    exitCode_.reset();
    pending_.clear();
    return true;
}

std::optional<std::string> ChildProcess::ReadLine(unsigned timeoutMs) {
    const uint64_t deadline = MonotonicMicroseconds() + uint64_t{timeoutMs} * 1000;
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        if (stdoutFd_ < 0) {
            return std::nullopt;
        }
        const uint64_t now = MonotonicMicroseconds();
        if (now >= deadline) {
            return std::nullopt;
        }
        pollfd waitFor{stdoutFd_, POLLIN, 0};
        const int ready = poll(&waitFor, 1, static_cast<int>((deadline - now + 999) / 1000));
        if (ready < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[512];
        const ssize_t n = read(stdoutFd_, buffer, sizeof buffer);
        if (n > 0) {
            pending_.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            close(stdoutFd_);  // the output ended
            stdoutFd_ = -1;
        }
    }
}

bool ChildProcess::Send(int signalNumber) {
    return Running() && kill(pid_, signalNumber) == 0;
}

bool ChildProcess::Interrupt() {
    return Send(SIGINT);
}
bool ChildProcess::Terminate() {
    return Send(SIGTERM);
}
bool ChildProcess::Kill() {
    return Send(SIGKILL);
}

std::optional<int> ChildProcess::Wait(unsigned timeoutMs) {
    if (exitCode_ || pid_ <= 0) {
        return exitCode_;
    }
    const uint64_t deadline = MonotonicMicroseconds() + uint64_t{timeoutMs} * 1000;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        if (done < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (MonotonicMicroseconds() >= deadline) {
            return std::nullopt;
        }
        timespec pause{0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
}

bool ChildProcess::Running() {
    return pid_ > 0 && !Wait(0).has_value();
}
