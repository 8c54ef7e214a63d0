// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "app/qt/brenno_dlg.h"
#include "app/command_line.h"
#include "channel/serial_channel.h"
#include "platform/clock.h"
#include "platform/device_names.h"
#include "platform/file_sink.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "polling/polling_controller.h"
#include "polling/program_variant.h"

// What a program runs on: the port, the clock, the files, the remembered settings and the
// devices present. The real program gives the system's; tests give stand-ins.
struct AppPlatform {
    SerialDevice& device;
    Clock& clock;
    FileSystem& files;
    SettingsStore& settings;
    DeviceNames& devices;
};

// One program: its main window, the controller behind it and the serial channel, put
// together and initialised. The window closes the program.
class CBrennoApp {
  public:
    CBrennoApp(const ProgramVariant& variant, const WindowDescription& window,
               const AppPlatform& platform);

    // Shows the main window modally; returns when it closes.
    int InitInstance();

    CBrennoDlg& dialog() { return dialog_; }
    PollingController& controller() { return controller_; }
    SerialChannel& channel() { return channel_; }

  private:
    CBrennoDlg dialog_;
    SerialChannel channel_;
    PollingController controller_;
};

class QTranslator;

// Qt's own texts (the save-file dialog, a field's context menu) in Russian like the window,
// whatever the locale: Qt's translation qtbase_ru from its translations folder, installed into
// the application. False when Qt's translations are not installed (Debian:
// qt6-translations-l10n); those texts stay English then.
bool InstallQtTranslation(QTranslator& translator);

// The main() of a program on this system: the command line answered first (--help, --version
// and a wrong option need no display), then the Qt application, the real platform, the window.
int RunProgram(int argc, char** argv, const ProgramInfo& program, const ProgramVariant& variant,
               const WindowDescription& window, CBrennoDlg::ParameterDialog parameterDialog);
