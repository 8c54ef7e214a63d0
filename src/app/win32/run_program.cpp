// SPDX-License-Identifier: MIT
#include "app/win32/run_program.h"

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/win32/brenno_app.h"
#include "app/win32/text_convert.h"
#include "platform/platform_services.h"

namespace {

std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        arguments.push_back(WideToUtf8(words[i]));
    }
    LocalFree(words);
    return arguments;
}

// Writes the text where a user started the program from: a redirected handle takes it as
// UTF-8, the console of the parent as UTF-16; false when there is neither.
bool WriteToStartingConsole(DWORD standardHandle, const std::string& text) {
    if (text.empty()) {
        return true;
    }
    HANDLE handle = GetStdHandle(standardHandle);
    DWORD written = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != 0) {
        return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) !=
               0;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        return false;
    }
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::wstring wide = Utf8ToWide(text);
    const bool ok = WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written,
                                  nullptr) != 0;
    CloseHandle(console);
    return ok;
}

int AnswerOnConsoleOrInBox(const ProgramInfo& program, const CommandLineAnswer& answer) {
    const bool written = WriteToStartingConsole(STD_OUTPUT_HANDLE, answer.standardOutput) &&
                         WriteToStartingConsole(STD_ERROR_HANDLE, answer.standardError);
    if (!written) {
        const bool error = answer.exitStatus != 0;
        const std::string text = answer.standardOutput + answer.standardError;
        MessageBoxW(nullptr, Utf8ToWide(text).c_str(),
                    Utf8ToWide(std::string(program.command)).c_str(),
                    MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
    }
    return answer.exitStatus;
}

}  // namespace

int RunProgram(const ProgramInfo& program, const ProgramVariant& variant,
               const WindowDescription& window, CBrennoDlg::ParameterDialog parameterDialog) {
    if (const auto answer = AnswerCommandLine(program, Arguments())) {
        return AnswerOnConsoleOrInBox(program, *answer);
    }
    const std::unique_ptr<PlatformServices> system = MakePlatformServices();
    CBrennoApp app(variant, window,
                   {system->device(), system->clock(), system->files(), system->settings(),
                    system->devices()});
    app.dialog().SetParameterDialog(std::move(parameterDialog));
    return app.InitInstance();
}
