// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <regex>

#include "brenno_version.h"

namespace {

using Arguments = std::vector<std::string>;

struct Case {
    Arguments arguments;
    CommandLineAction action;
    std::string errorPart;  // kError: a piece of the message
};

std::string Shown(const Arguments& arguments) {
    std::string text;
    for (const std::string& a : arguments) {
        text += "[" + a + "]";
    }
    return text.empty() ? "(none)" : text;
}

void ExpectParsed(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const CommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(line.action, c.action) << Shown(c.arguments) << ": " << line.error;
        if (c.action == CommandLineAction::kError) {
            EXPECT_NE(line.error.find(c.errorPart), std::string::npos)
                << Shown(c.arguments) << ": " << line.error;
            EXPECT_EQ(line.error.find('\n'), std::string::npos) << line.error;
        } else {
            EXPECT_TRUE(line.error.empty()) << Shown(c.arguments) << ": " << line.error;
        }
    }
}

constexpr auto kRun = CommandLineAction::kRun;
constexpr auto kHelp = CommandLineAction::kHelp;
constexpr auto kVersion = CommandLineAction::kVersion;
constexpr auto kError = CommandLineAction::kError;

constexpr ProgramInfo kProgram{"polmira", "Polmira, the viewer.\n"};

}  // namespace

TEST(CommandLine, QtOptionsOpenTheWindow) {
    ExpectParsed({
        {{}, kRun, ""},
        {{"-platform", "offscreen"}, kRun, ""},
        {{"--platform", "offscreen"}, kRun, ""},
        {{"-platform", "xcb:nomitshm", "-platformpluginpath", "/p", "-platformtheme", "gtk3"},
         kRun,
         ""},
        {{"-style", "fusion"}, kRun, ""},
        {{"-style=fusion", "-stylesheet=a.qss", "--stylesheet", "b.qss"}, kRun, ""},
        {{"-display", ":1", "-geometry", "800x600+0+0", "-reverse"}, kRun, ""},
        {{"-qwindowgeometry", "640x480", "-qwindowtitle", "T", "-qwindowicon", "i.png"}, kRun, ""},
        {{"-title", "T", "-icon", "i.png", "-name", "n", "-visual", "0x21", "-session", "s"},
         kRun,
         ""},
        {{"-plugin", "evdevtouch", "-qmljsdebugger=port:3768", "-qmljsdebugger", "port:1"},
         kRun,
         ""},
        {{"-nograb", "-dograb", "-widgetcount", "-testability", "--reverse"}, kRun, ""},
        // A value is taken as it is, even one that looks like an option.
        {{"-qwindowtitle", "-reverse"}, kRun, ""},
    });
}

TEST(CommandLine, HelpAndVersion) {
    ExpectParsed({
        {{"--help"}, kHelp, ""},
        {{"-h"}, kHelp, ""},
        {{"-platform", "offscreen", "--help"}, kHelp, ""},
        {{"--version", "--help"}, kHelp, ""},
        {{"--version"}, kVersion, ""},
        {{"-v"}, kVersion, ""},
        {{"-style", "fusion", "--version"}, kVersion, ""},
    });
}

TEST(CommandLine, WrongArgumentsAreRefused) {
    ExpectParsed({
        {{"--bogus"}, kError, "unknown option \"--bogus\""},
        {{"-x"}, kError, "unknown option \"-x\""},
        {{"--hlep"}, kError, "unknown option \"--hlep\""},
        {{"---platform", "xcb"}, kError, "unknown option"},
        {{"log.txt"}, kError, "unexpected argument \"log.txt\""},
        {{"-"}, kError, "unexpected argument \"-\""},
        {{""}, kError, "unexpected argument"},
        // A wrong argument wins over --help, wherever it stands.
        {{"--help", "--bogus"}, kError, "\"--bogus\""},
        {{"--bogus", "--version"}, kError, "\"--bogus\""},
        {{"-platform"}, kError, "\"-platform\" needs a value"},
        {{"-reverse", "--style"}, kError, "\"--style\" needs a value"},
        {{"-platform=xcb"}, kError, "as the next argument"},
        {{"-reverse=1"}, kError, "\"-reverse\" takes no value"},
        {{"--version=2"}, kError, "\"--version\" takes no value"},
        {{"--help=all"}, kError, "\"--help\" takes no value"},
    });
}

TEST(CommandLine, AnswersWithTextsAndExitStatus) {
    EXPECT_FALSE(AnswerCommandLine(kProgram, {}));
    EXPECT_FALSE(AnswerCommandLine(kProgram, {"-platform", "offscreen"}));

    const auto help = AnswerCommandLine(kProgram, {"--help"});
    ASSERT_TRUE(help);
    EXPECT_EQ(help->exitStatus, 0);
    EXPECT_TRUE(help->standardError.empty());
    EXPECT_EQ(help->standardOutput.rfind("Usage: polmira", 0), 0u) << help->standardOutput;
    for (const char* part : {"Polmira, the viewer.", "--version", "-platform"}) {
        EXPECT_NE(help->standardOutput.find(part), std::string::npos) << part;
    }

    const auto version = AnswerCommandLine(kProgram, {"--version"});
    ASSERT_TRUE(version);
    EXPECT_EQ(version->exitStatus, 0);
    EXPECT_EQ(version->standardOutput, "polmira " + std::string(kBrennoVersion) + "\n");
    EXPECT_TRUE(version->standardError.empty());
    EXPECT_TRUE(std::regex_match(std::string(kBrennoVersion), std::regex(R"(\d+\.\d+\.\d+)")));

    const auto error = AnswerCommandLine(kProgram, {"--bogus"});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->exitStatus, 2);
    EXPECT_TRUE(error->standardOutput.empty());
    EXPECT_EQ(error->standardError,
              "polmira: unknown option \"--bogus\" (--help shows the options)\n");
}
