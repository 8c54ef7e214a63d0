// SPDX-License-Identifier: MIT
#include "app/calvena_window.h"

#include <string>
#include <utility>

namespace {

using K = ControlKind;

constexpr const char* kAboutSecondLine = "Поверка преобразователей, проверка часов";

DialogTemplate MainTemplate() {
    DialogTemplate t{.id = 102,
                     .caption = "Calvena",
                     .width = 250,
                     .height = 197,
                     .fontFamily = "Courier New",
                     .pointSize = 12,
                     .controls = {}};
    t.controls = {
        ControlTemplate(1000, K::kDropDownList, "", 210, 60, 30, 12).Sorted().Named("Порт"),
        PushButton(1001, "Старт", 174, 24, 30, 12),
        StaticControl(-1, "Состояние: ", 12, 184, 45, 8),
        StaticControl(-1, "Преобразователь:", 12, 168, 66, 8),
        StaticControl(1003, "Статический", 78, 168, 55, 12).Named("Преобразователь").ShowsValue(),
        StaticControl(1004, "Ua", 18, 24, 36, 8),
        ReadOnlyEdit(1005, 54, 24, 36, 12),
        StaticControl(1006, "Ub", 18, 42, 36, 8),
        ReadOnlyEdit(1007, 54, 42, 36, 12),
        StaticControl(1008, "Uc", 18, 60, 36, 8),
        ReadOnlyEdit(1009, 54, 60, 36, 12),
        // Two slots of the shared slot order that this window never shows.
        StaticControl(1010, "Ia", 210, 90, 8, 8).Hidden(),
        ReadOnlyEdit(1011, 216, 90, 12, 12).Hidden(),
        StaticControl(1012, "Ib", 210, 108, 8, 8).Hidden(),
        ReadOnlyEdit(1013, 222, 108, 6, 12).Hidden(),
        StaticControl(1014, "Ic", 96, 78, 30, 8),
        ReadOnlyEdit(1015, 126, 78, 36, 12),
        PushButton(1016, "Стоп", 210, 24, 30, 12),
        StaticControl(1017, "Uab", 96, 24, 30, 8),
        ReadOnlyEdit(1018, 126, 24, 36, 12),
        StaticControl(1019, "Ubc", 96, 42, 30, 8),
        ReadOnlyEdit(1020, 126, 42, 36, 12),
        StaticControl(1021, "Uca", 96, 60, 30, 8),
        ReadOnlyEdit(1022, 126, 60, 36, 12),
        StaticControl(-1, "Период опроса, мс", 144, 168, 72, 8),
        ControlTemplate(1023, K::kEdit, "", 216, 168, 24, 12).Named("Период опроса, мс"),
        ControlTemplate(1024, K::kCheckBox, "Записать в файл", 174, 45, 72, 8),
        StaticControl(-1, "Время компьютера", 12, 126, 66, 8),
        ControlTemplate(1025, K::kDropDownList, "", 84, 126, 30, 36)
            .Sorted()
            .Items({"GMT", "Local"})
            .Named("Шкала времени компьютера"),
        StaticControl(-1, "Время преобразователя", 12, 108, 90, 8),
        PushButton(1027, "Синхронизировать RTC", 12, 144, 102, 12).Disabled(),
        StaticControl(-1, "Порт", 174, 60, 18, 8),
        ControlTemplate(-1, K::kGroupBox, "Измеряемые параметры", 12, 6, 156, 90),
        ReadOnlyEdit(1029, 126, 108, 66, 12, "Время преобразователя"),
        ReadOnlyEdit(1030, 126, 126, 66, 12, "Время компьютера"),
        ReadOnlyEdit(1031, 57, 183, 183, 12, "Состояние"),
        PushButton(1041, "Проверка RTC", 126, 144, 66, 12).Disabled(),
    };
    return t;
}

DialogTemplate AboutTemplate() {
    DialogTemplate t{.id = 100,
                     .caption = "Calvena",
                     .width = 197,
                     .height = 63,
                     .fontFamily = "MS Shell Dlg",
                     .pointSize = 8,
                     .controls = {}};
    t.controls = {
        StaticControl(-1, "Calvena, версия\u00a01.0", 42, 14, 148, 8),
        StaticControl(-1, kAboutSecondLine, 42, 26, 148, 8),
        PushButton(1, "ОК", 140, 42, 50, 14).Default(),
    };
    return t;
}

WindowRoles Roles() {
    WindowRoles r;
    r.texts = {{ViewText::kStatusLine, 1031},
               {ViewText::kModelName, 1003},
               {ViewText::kTransducerTime, 1029},
               {ViewText::kComputerTime, 1030},
               {ViewText::kPeriodField, 1023}};
    r.controls = {{ViewControl::kPortList, 1000},  {ViewControl::kStart, 1001},
                  {ViewControl::kStop, 1016},      {ViewControl::kWriteToFile, 1024},
                  {ViewControl::kTimeBase, 1025},  {ViewControl::kPeriodField, 1023},
                  {ViewControl::kSyncClock, 1027}, {ViewControl::kRtcTest, 1041}};
    r.portList = 1000;
    r.timeBaseList = 1025;
    r.startButton = 1001;
    r.stopButton = 1016;
    r.syncButton = 1027;
    r.rtcTestButton = 1041;
    return r;
}

}  // namespace

const WindowDescription& CalvenaWindow() {
    static const WindowDescription window{MainTemplate(), AboutTemplate(), Roles(),
                                          "&Сведения о Calvena", ":/icons/calvena.png"};
    return window;
}
