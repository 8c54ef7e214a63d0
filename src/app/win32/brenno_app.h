// SPDX-License-Identifier: MIT
#pragma once

#include "app/command_line.h"
#include "app/win32/brenno_dlg.h"
#include "channel/serial_channel.h"
#include "platform/clock.h"
#include "platform/device_names.h"
#include "platform/file_sink.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "polling/polling_controller.h"
#include "polling/program_variant.h"

// What a program runs on: the port, the clock, the files, the remembered settings and the
// devices present. The real program gives the system's; tests give stand-ins (and a window
// time in virtual time).
struct AppPlatform {
    SerialDevice& device;
    Clock& clock;
    FileSystem& files;
    SettingsStore& settings;
    DeviceNames& devices;
    WindowTime* windowTime = nullptr;
};

// One program: its main window, the controller behind it and the serial channel, put
// together; the window is created and initialised. The window closes the program.
class CBrennoApp {
  public:
    CBrennoApp(const ProgramVariant& variant, const WindowDescription& window,
               const AppPlatform& platform);

    // Shows the main window and runs it until it is closed. Nothing outlives it: polling is
    // stopped, the port and the log closed.
    int InitInstance();

    CBrennoDlg& dialog() { return dialog_; }
    PollingController& controller() { return controller_; }
    SerialChannel& channel() { return channel_; }

  private:
    CBrennoDlg dialog_;
    SerialChannel channel_;
    PollingController controller_;
};
