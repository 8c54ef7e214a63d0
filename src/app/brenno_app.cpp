#include "app/brenno_app.h"

#include <QApplication>
#include <clocale>

#include "platform/platform_services.h"

CBrennoApp::CBrennoApp(const ProgramVariant& variant, const WindowDescription& window,
                       const AppPlatform& platform)
    : dialog_(window),
      channel_(platform.device, platform.clock),
      controller_(variant, dialog_, channel_, platform.clock, platform.files) {
    dialog_.Attach(controller_, channel_, platform.settings, platform.devices);
    dialog_.OnInitDialog();
}

int CBrennoApp::InitInstance() {
    dialog_.exec();
    // Nothing may outlive the window: a port or log still open is closed with it.
    if (controller_.IsPolling() || controller_.IsStarting()) {
        controller_.OnStop();
    }
    return 0;
}

int RunProgram(int argc, char** argv, const ProgramVariant& variant,
               const WindowDescription& window, CBrennoDlg::ParameterDialog parameterDialog) {
    QApplication application(argc, argv);
    // Qt takes the C library's locale from the environment; the core formats its numbers
    // independently of it, and nothing else of the C library's formatting is used.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QString::fromStdString(variant.programName));
    QApplication::setWindowIcon(QIcon(QString::fromStdString(window.iconResource)));

    const std::unique_ptr<PlatformServices> system = MakePlatformServices();
    CBrennoApp app(variant, window,
                   {system->device(), system->clock(), system->files(), system->settings(),
                    system->devices()});
    app.dialog().SetParameterDialog(std::move(parameterDialog));
    return app.InitInstance();
}
