// SPDX-License-Identifier: MIT
#include "app/win32/brenno_app.h"

#include <commctrl.h>

CBrennoApp::CBrennoApp(const ProgramVariant& variant, const WindowDescription& window,
                       const AppPlatform& platform)
    : dialog_(window, platform.windowTime),
      channel_(platform.device, platform.clock),
      controller_(variant, dialog_, channel_, platform.clock, platform.files) {
    // The controls of all Windows 95 classes, in the version the manifest asks for.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    dialog_.Attach(controller_, channel_, platform.settings, platform.devices, platform.files);
    dialog_.Create();
}

int CBrennoApp::InitInstance() {
    dialog_.RunModalLoop();
    // Nothing may outlive the window: a port or log still open is closed with it.
    if (controller_.IsPolling() || controller_.IsStarting()) {
        controller_.OnStop();
    }
    dialog_.KillTimer();
    return 0;
}
