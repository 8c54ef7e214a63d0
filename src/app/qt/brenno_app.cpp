// SPDX-License-Identifier: MIT
#include "app/qt/brenno_app.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>
#include <cstdio>

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

bool InstallQtTranslation(QTranslator& translator) {
    return translator.load(QStringLiteral("qtbase_ru"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
           QCoreApplication::installTranslator(&translator);
}

int RunProgram(int argc, char** argv, const ProgramInfo& program, const ProgramVariant& variant,
               const WindowDescription& window, CBrennoDlg::ParameterDialog parameterDialog) {
    if (const auto answer = AnswerCommandLine(program, {argv + 1, argv + argc})) {
        std::fputs(answer->standardOutput.c_str(), stdout);
        std::fputs(answer->standardError.c_str(), stderr);
        return answer->exitStatus;
    }
    QApplication application(argc, argv);
    QTranslator qtTranslation;
    InstallQtTranslation(qtTranslation);
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
