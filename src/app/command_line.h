// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The programs' command line, read before the Qt application exists (no Qt here): "--help"
// and "--version" are answered without a display, a mistyped option is refused, and the
// options that QApplication takes for itself are let through to it.

enum class CommandLineAction {
    kRun,      // open the window; every argument is one of Qt's and goes to QApplication
    kHelp,     // the usage on standard output, exit status 0
    kVersion,  // the version on standard output, exit status 0
    kError,    // one line on standard error, exit status 2
};

struct CommandLine {
    CommandLineAction action = CommandLineAction::kRun;
    std::string error;  // kError: what is wrong, without the program's name
};

// Reads the arguments (without the program's name). A wrong argument anywhere wins over
// "--help", which wins over "--version".
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help says about a program.
struct ProgramInfo {
    std::string_view command;  // "polmira"
    std::string_view summary;  // a few lines on what the program does
};

// The answer to a command line that is not a plain start: what to print on standard output
// and on standard error, and the exit status.
struct CommandLineAnswer {
    int exitStatus = 0;
    std::string standardOutput;
    std::string standardError;
};

// Nothing when the window is to be opened; otherwise the help, the version or the error.
std::optional<CommandLineAnswer> AnswerCommandLine(const ProgramInfo& program,
                                                   const std::vector<std::string>& arguments);

// "polmira 1.0.0\n".
std::string VersionText(std::string_view command);
std::string UsageText(const ProgramInfo& program);
