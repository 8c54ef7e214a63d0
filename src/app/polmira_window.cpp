// SPDX-License-Identifier: MIT
#include "app/polmira_window.h"

#include <string>
#include <utility>

namespace {

using K = ControlKind;

constexpr const char* kAboutSecondLine = "Опрос измерительных преобразователей";

DialogTemplate MainTemplate() {
    DialogTemplate t{.id = 102,
                     .caption = "Polmira",
                     .width = 344,
                     .height = 216,
                     .fontFamily = "Courier New",
                     .pointSize = 12,
                     .controls = {}};
    t.controls = {
        ControlTemplate(1000, K::kDropDownList, "", 306, 192, 30, 12).Sorted().Named("Порт"),
        PushButton(1001, "Старт", 120, 156, 30, 12),
        StaticControl(-1, "Состояние: ", 6, 204, 42, 8),
        StaticControl(-1, "Преобразователь:", 120, 192, 66, 8),
        StaticControl(1003, "Статический", 192, 192, 48, 8).Named("Преобразователь").ShowsValue(),
        StaticControl(1004, "Ua", 120, 24, 48, 8),
        ReadOnlyEdit(1005, 168, 24, 36, 12),
        StaticControl(1006, "Ub", 120, 42, 48, 8),
        ReadOnlyEdit(1007, 168, 42, 36, 12),
        StaticControl(1008, "Uc", 120, 60, 48, 8),
        ReadOnlyEdit(1009, 168, 60, 36, 12),
        StaticControl(1010, "Ia", 12, 24, 48, 8),
        ReadOnlyEdit(1011, 60, 24, 36, 12),
        StaticControl(1012, "Ib", 12, 42, 48, 8),
        ReadOnlyEdit(1013, 60, 42, 36, 12),
        StaticControl(1014, "Ic", 12, 60, 48, 8),
        ReadOnlyEdit(1015, 60, 60, 36, 12),
        PushButton(1016, "Стоп", 156, 156, 30, 12).Default(),
        StaticControl(1017, "Uab", 228, 24, 54, 8),
        ReadOnlyEdit(1018, 294, 24, 36, 12),
        StaticControl(1019, "Ubc", 228, 42, 54, 8),
        ReadOnlyEdit(1020, 294, 42, 36, 12),
        StaticControl(1021, "Uca", 228, 60, 54, 8),
        ReadOnlyEdit(1022, 294, 60, 36, 12),
        StaticControl(-1, "Период опроса, мс", 6, 174, 72, 8),
        ControlTemplate(1023, K::kEdit, "", 84, 174, 24, 12).Named("Период опроса, мс"),
        ControlTemplate(1024, K::kCheckBox, " Записать в файл", 5, 160, 78, 8),
        StaticControl(-1, "Время компьютера", 6, 120, 66, 8),
        ControlTemplate(1025, K::kDropDownList, "", 78, 120, 30, 36)
            .Sorted()
            .Items({"GMT", "Local"})
            .Named("Шкала времени компьютера"),
        GroupBox(1036, "AC", 6, 6, 96, 72),
        GroupBox(1037, "DC", 114, 6, 96, 72),
        GroupBox(1038, "AC + DC", 222, 6, 114, 72),
        StaticControl(-1, "Время преобразователя", 6, 102, 90, 8),
        PushButton(1027, "Синхронизировать часы", 6, 138, 102, 12),
        ControlTemplate(1032, K::kRadioButton, " Опрос группы", 198, 138, 66, 10).StartsGroup(),
        ControlTemplate(1033, K::kRadioButton, " Чтение (102)", 264, 138, 60, 10),
        ControlTemplate(1034, K::kRadioButton, "Чтение на канальном уровне", 264, 150, 48, 30)
            .MultiLine(),
        ControlTemplate(1029, K::kDropDownList, "", 198, 156, 30, 12).Named("Группа опроса"),
        PushButton(1030, "Определение запаздывания", 216, 120, 102, 12),
        StaticControl(1031, "0, ms", 252, 106, 30, 8).Named("Запаздывание").ShowsValue(),
        StaticControl(1035, "ASDU", 199, 174, 17, 8),
        GroupBox(-1, "МЭК-101", 192, 84, 144, 102),
        StaticControl(-1, "Порт", 282, 192, 18, 8),
        ControlTemplate(1039, K::kPushLikeCheckBox, "Код", 72, 84, 36, 10).Named("Формат данных"),
        StaticControl(-1, "Формат данных", 6, 84, 54, 8),
        ReadOnlyEdit(1040, 120, 102, 66, 12, "Время преобразователя"),
        ReadOnlyEdit(1041, 120, 120, 66, 12, "Время компьютера"),
        ReadOnlyEdit(1042, 46, 203, 198, 12, "Состояние"),
        ReadOnlyEdit(1026, 219, 173, 24, 12, "ASDU"),
        GroupBox(1043, "Измеряемые параметры", 6, 6, 330, 70).Hidden(),
    };
    return t;
}

DialogTemplate AboutTemplate() {
    DialogTemplate t{.id = 100,
                     .caption = "Polmira",
                     .width = 203,
                     .height = 63,
                     .fontFamily = "MS Shell Dlg",
                     .pointSize = 8,
                     .controls = {}};
    t.controls = {
        StaticControl(-1, "Polmira, версия\u00a01.0", 42, 14, 154, 8),
        StaticControl(-1, kAboutSecondLine, 42, 26, 154, 8),
        PushButton(1, "ОК", 146, 42, 50, 14).Default(),
    };
    return t;
}

WindowRoles Roles() {
    WindowRoles r;
    r.texts = {{ViewText::kStatusLine, 1042},     {ViewText::kModelName, 1003},
               {ViewText::kTransducerTime, 1040}, {ViewText::kComputerTime, 1041},
               {ViewText::kPeriodField, 1023},    {ViewText::kAsduField, 1026},
               {ViewText::kDelayResult, 1031},    {ViewText::kDataFormatCaption, 1039}};
    r.controls = {{ViewControl::kPortList, 1000},      {ViewControl::kStart, 1001},
                  {ViewControl::kStop, 1016},          {ViewControl::kWriteToFile, 1024},
                  {ViewControl::kTimeBase, 1025},      {ViewControl::kPeriodField, 1023},
                  {ViewControl::kDataFormat, 1039},    {ViewControl::kGroupList, 1029},
                  {ViewControl::kPollKindGroup, 1032}, {ViewControl::kPollKindRead, 1033},
                  {ViewControl::kPollKindLink, 1034},  {ViewControl::kDelayButton, 1030},
                  {ViewControl::kAsduLabel, 1035},     {ViewControl::kAsduField, 1026},
                  {ViewControl::kDelayResult, 1031},   {ViewControl::kSyncClock, 1027}};
    r.frames = {{ViewFrame::kAc, 1036},
                {ViewFrame::kDc, 1037},
                {ViewFrame::kAcDc, 1038},
                {ViewFrame::kMeasured, 1043}};
    r.pollKindButtons = {1032, 1033, 1034};
    r.groupList = 1029;
    r.portList = 1000;
    r.timeBaseList = 1025;
    r.startButton = 1001;
    r.stopButton = 1016;
    r.syncButton = 1027;
    r.delayButton = 1030;
    r.dataFormatBox = 1039;
    return r;
}

}  // namespace

const WindowDescription& PolmiraWindow() {
    static const WindowDescription window{MainTemplate(), AboutTemplate(), Roles(),
                                          "&Сведения о Polmira", ":/icons/polmira.png"};
    return window;
}

const DialogTemplate& InputAddressTemplate() {
    static const DialogTemplate t = [] {
        DialogTemplate d{.id = 103,
                         .caption = "Выбор параметра для чтения",
                         .width = 130,
                         .height = 58,
                         .fontFamily = "Courier New",
                         .pointSize = 12,
                         .controls = {}};
        d.controls = {
            PushButton(1, "ОК", 6, 36, 50, 14).Default(),
            PushButton(2, "Отмена", 72, 36, 50, 14),
            ControlTemplate(1044, K::kDropDownList, "", 72, 12, 48, 78)
                .VerticalScroll()
                .Named("Имя параметра"),
            StaticControl(-1, "Имя параметра", 6, 12, 54, 12),
        };
        return d;
    }();
    return t;
}
