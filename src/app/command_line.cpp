// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include <array>

#include "brenno_version.h"

namespace {

// How one of Qt's options takes its value.
enum class ValueForm {
    kNone,          // a flag
    kNext,          // the next argument: "-platform offscreen"
    kNextOrJoined,  // that, or after '=': "-style fusion", "-style=fusion"
};

struct ToolkitOption {
    std::string_view name;
    ValueForm value;
};

// The options QGuiApplication, QApplication, QCoreApplication and the xcb platform plugin
// take out of the command line (Qt 6). Each may also be written with two leading dashes.
constexpr std::array kToolkitOptions{
    ToolkitOption{"-platform", ValueForm::kNext},
    ToolkitOption{"-platformpluginpath", ValueForm::kNext},
    ToolkitOption{"-platformtheme", ValueForm::kNext},
    ToolkitOption{"-plugin", ValueForm::kNext},
    ToolkitOption{"-qwindowgeometry", ValueForm::kNext},
    ToolkitOption{"-qwindowicon", ValueForm::kNext},
    ToolkitOption{"-qwindowtitle", ValueForm::kNext},
    // The X11 names of the three above.
    ToolkitOption{"-geometry", ValueForm::kNext},
    ToolkitOption{"-icon", ValueForm::kNext},
    ToolkitOption{"-title", ValueForm::kNext},
    ToolkitOption{"-reverse", ValueForm::kNone},
    ToolkitOption{"-session", ValueForm::kNext},
    ToolkitOption{"-testability", ValueForm::kNone},
    ToolkitOption{"-style", ValueForm::kNextOrJoined},
    ToolkitOption{"-stylesheet", ValueForm::kNextOrJoined},
    ToolkitOption{"-widgetcount", ValueForm::kNone},
    ToolkitOption{"-qmljsdebugger", ValueForm::kNextOrJoined},
    ToolkitOption{"-display", ValueForm::kNext},
    ToolkitOption{"-name", ValueForm::kNext},
    ToolkitOption{"-visual", ValueForm::kNext},
    ToolkitOption{"-nograb", ValueForm::kNone},
    ToolkitOption{"-dograb", ValueForm::kNone},
};

const ToolkitOption* FindToolkitOption(std::string_view name) {
    for (const ToolkitOption& option : kToolkitOptions) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    bool help = false;
    bool version = false;
    auto fail = [](std::string why) {
        return CommandLine{CommandLineAction::kError, std::move(why)};
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            help = true;
            continue;
        }
        if (argument == "--version" || argument == "-v") {
            version = true;
            continue;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            return fail("unexpected argument " + Quoted(argument) + " (--help shows the options)");
        }
        // Qt reads "--platform" as "-platform".
        std::string_view name = argument;
        if (name.substr(0, 2) == "--") {
            name.remove_prefix(1);
        }
        const size_t equals = name.find('=');
        const std::string_view bare = name.substr(0, equals);
        const ToolkitOption* option = FindToolkitOption(bare);
        if (equals != std::string_view::npos && (bare == "-help" || bare == "-version")) {
            return fail(Quoted(argument.substr(0, argument.find('='))) + " takes no value");
        }
        if (option == nullptr) {
            return fail("unknown option " + Quoted(argument) + " (--help shows the options)");
        }
        if (equals != std::string_view::npos) {
            // Qt would not see "-platform=xcb" as its option and would ignore it silently.
            if (option->value == ValueForm::kNone) {
                return fail(Quoted(bare) + " takes no value");
            }
            if (option->value == ValueForm::kNext) {
                return fail(Quoted(bare) + " takes its value as the next argument, not after '='");
            }
            continue;
        }
        if (option->value != ValueForm::kNone) {
            if (i + 1 >= arguments.size()) {
                return fail(Quoted(argument) + " needs a value");
            }
            ++i;
        }
    }
    if (help) {
        return {CommandLineAction::kHelp, {}};
    }
    if (version) {
        return {CommandLineAction::kVersion, {}};
    }
    return {};
}

std::string VersionText(std::string_view command) {
    return std::string(command) + " " + std::string(kBrennoVersion) + "\n";
}

std::string UsageText(const ProgramInfo& program) {
    const std::string command(program.command);
    return "Usage: " + command + " [Qt options]\n       " + command + " --help | --version\n\n" +
           std::string(program.summary) +
           "\n"
           "  -h, --help     this text\n"
           "  -v, --version  the version\n"
           "\n"
           "Qt's own options are passed on to it, among them -platform NAME (xcb, wayland,\n"
           "offscreen), -style NAME, -display HOST:N, -geometry WxH+X+Y and -reverse.\n"
           "The chosen port is remembered in ~/.config/corvanta/settings.ini (or under\n"
           "$XDG_CONFIG_HOME when that is set).\n";
}

std::optional<CommandLineAnswer> AnswerCommandLine(const ProgramInfo& program,
                                                   const std::vector<std::string>& arguments) {
    const CommandLine line = ParseCommandLine(arguments);
    switch (line.action) {
        case CommandLineAction::kRun:
            return std::nullopt;
        case CommandLineAction::kHelp:
            return CommandLineAnswer{0, UsageText(program), {}};
        case CommandLineAction::kVersion:
            return CommandLineAnswer{0, VersionText(program.command), {}};
        case CommandLineAction::kError:
            break;
    }
    return CommandLineAnswer{2, {}, std::string(program.command) + ": " + line.error + "\n"};
}
