// SPDX-License-Identifier: MIT
#include "app/qt/brenno_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

#include "app/qt/about_dlg.h"
#include "app/qt/accessible_value.h"
#include "app/qt/line_monitor_dlg.h"
#include "catalogue/model_catalogue.h"
#include "channel/port_list.h"
#include "channel/serial_channel.h"
#include "monitor/monitor_text.h"
#include "polling/messages.h"
#include "polling/polling_controller.h"

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Sets a field's text only when it changes: a line edit lays its text out and repaints it on
// every setText, and most ticks leave most fields as they were.
void SetEditText(QLineEdit& edit, const QString& text) {
    if (edit.text() != text) {
        edit.setText(text);
    }
}

// The save-file dialog's name buffer holds this many characters.
constexpr int kMaxLogFileNameLength = 99;

// Breaks a caption into lines that fit the width, at spaces (a multi-line button).
QString WrapToWidth(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        const QString longer = line.isEmpty() ? word : line + ' ' + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            lines << line;
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty()) {
        lines << line;
    }
    return lines.join('\n');
}

QString AccessibleNameOf(const ControlTemplate& control) {
    if (!control.accessibleName.empty()) {
        return Q(control.accessibleName);
    }
    return Q(control.caption).trimmed();
}

}  // namespace

QFont TemplateFont(const std::string& family, int pointSize) {
    QFont font;
    if (family == "Courier New") {
        font.setFamilies({"Courier New", "Liberation Mono"});
        font.setStyleHint(QFont::TypeWriter);
    } else if (family == "MS Shell Dlg") {
        font.setFamilies({"MS Shell Dlg 2", "Tahoma", "Liberation Sans", "DejaVu Sans"});
        font.setStyleHint(QFont::SansSerif);
    } else {
        font.setFamilies({Q(family)});
    }
    font.setPointSize(pointSize);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {AverageCharWidth(alphabet), metrics.height()};
}

void CreateTemplateControls(QWidget& parent, const DialogTemplate& dialog,
                            const DialogBaseUnits& base) {
    std::vector<QWidget*> frames;
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& c : dialog.controls) {
        QWidget* widget = nullptr;
        switch (c.kind) {
            case ControlKind::kStatic:
                widget = new QLabel(Q(c.caption), &parent);
                if (c.showsValue) {
                    MarkAsValueControl(*widget);
                }
                break;
            case ControlKind::kEdit: {
                auto* edit = new QLineEdit(&parent);
                edit->setReadOnly(c.readOnly);
                widget = edit;
                break;
            }
            case ControlKind::kPushButton: {
                auto* button = new QPushButton(Q(c.caption), &parent);
                button->setAutoDefault(false);
                button->setDefault(c.isDefault);
                widget = button;
                break;
            }
            case ControlKind::kCheckBox:
                widget = new QCheckBox(Q(c.caption), &parent);
                break;
            case ControlKind::kPushLikeCheckBox: {
                auto* button = new QPushButton(Q(c.caption), &parent);
                button->setCheckable(true);
                button->setAutoDefault(false);
                widget = button;
                break;
            }
            case ControlKind::kRadioButton: {
                auto* radio = new QRadioButton(&parent);
                const PixelRect r = MapDialogRect(c.x, c.y, c.width, c.height, base);
                const int indicator =
                    radio->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth);
                radio->setText(c.multiLine ? WrapToWidth(Q(c.caption), QFontMetrics(parent.font()),
                                                         r.width - indicator - 6)
                                           : Q(c.caption));
                if (c.startsGroup || radioGroup == nullptr) {
                    radioGroup = new QButtonGroup(&parent);
                    radioGroup->setObjectName(QString("group_%1").arg(c.id));
                }
                radioGroup->addButton(radio, c.id);
                widget = radio;
                break;
            }
            case ControlKind::kDropDownList: {
                auto* list = new DropDownList(&parent);
                for (const std::string& item : c.items) {
                    if (c.sorted) {
                        AddSortedItem(*list, Q(item));
                    } else {
                        list->addItem(Q(item));
                    }
                }
                MarkAsValueControl(*list);
                widget = list;
                break;
            }
            case ControlKind::kGroupBox: {
                auto* frame = new QGroupBox(Q(c.caption), &parent);
                // A frame is drawn behind the controls it surrounds and takes no clicks.
                frame->setAttribute(Qt::WA_TransparentForMouseEvents);
                frames.push_back(frame);
                widget = frame;
                break;
            }
        }
        PixelRect r = MapDialogRect(c.x, c.y, c.width, c.height, base);
        if (c.kind == ControlKind::kDropDownList) {
            // The template gives the height with the list dropped; closed it is one line.
            r.height = DialogUnitsToPixelsY(12, base);
        }
        widget->setGeometry(r.x, r.y, r.width, r.height);
        if (c.id >= 0) {
            widget->setObjectName(QString::number(c.id));
        }
        widget->setAccessibleName(AccessibleNameOf(c));
        widget->setEnabled(!c.disabled);
        widget->setVisible(!c.hidden);
    }
    for (QWidget* frame : frames) {
        frame->lower();
    }
}

void DropDownList::showPopup() {
    if (beforePopup) {
        beforePopup();
    }
    QComboBox::showPopup();
}

int AddSortedItem(QComboBox& list, const QString& text) {
    int index = 0;
    while (index < list.count() &&
           QString::compare(list.itemText(index), text, Qt::CaseInsensitive) <= 0) {
        ++index;
    }
    list.insertItem(index, text);
    return index;
}

CBrennoDlg::CBrennoDlg(const WindowDescription& window)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      window_(window) {
    const DialogTemplate& t = window.mainWindow;
    setObjectName(QString::number(t.id));
    setWindowTitle(Q(t.caption));
    setWindowIcon(QIcon(Q(window.iconResource)));
    font_ = TemplateFont(t.fontFamily, t.pointSize);
    setFont(font_);
    base_ = BaseUnitsOf(font_);
    CreateTemplateControls(*this, t, base_);
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        bool ok = false;
        const int id = child->objectName().toInt(&ok);
        if (ok) {
            controls_[id] = child;
        }
    }
    if (!window.roles.pollKindButtons.empty()) {
        pollKinds_ =
            findChild<QButtonGroup*>(QString("group_%1").arg(window.roles.pollKindButtons.front()));
    }
    setFixedSize(DialogUnitsToPixelsX(t.width, base_), DialogUnitsToPixelsY(t.height, base_));

    pollTimer_.setTimerType(Qt::PreciseTimer);
    // The keyboard filter sees the keys of every widget of this window.
    qApp->installEventFilter(this);
}

CBrennoDlg::~CBrennoDlg() {
    qApp->removeEventFilter(this);
}

CLineMonitorDlg& CBrennoDlg::ShowLineMonitor() {
    if (!lineMonitor_) {
        lineMonitor_ =
            std::make_unique<CLineMonitorDlg>(channel_->Traffic(), window_.mainWindow.caption);
    }
    lineMonitor_->show();
    lineMonitor_->raise();
    lineMonitor_->activateWindow();
    return *lineMonitor_;
}

void CBrennoDlg::Attach(PollingController& controller, SerialChannel& channel,
                        SettingsStore& settings, DeviceNames& devices) {
    controller_ = &controller;
    channel_ = &channel;
    settings_ = &settings;
    devices_ = &devices;
    ConnectCommands();
}

QWidget* CBrennoDlg::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QWidget* CBrennoDlg::RoleWidget(std::optional<int> id) const {
    return id ? Control(*id) : nullptr;
}

QComboBox* CBrennoDlg::Combo(int id) const {
    return qobject_cast<QComboBox*>(Control(id));
}

void CBrennoDlg::ConnectCommands() {
    const WindowRoles& roles = window_.roles;
    const auto onClick = [this](int id, void (PollingController::*handler)()) {
        if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) {
            connect(button, &QAbstractButton::clicked, this,
                    [this, handler] { (controller_->*handler)(); });
        }
    };
    onClick(roles.startButton, &PollingController::OnStart);
    onClick(roles.stopButton, &PollingController::OnStop);
    onClick(roles.syncButton, &PollingController::OnSyncClock);
    onClick(roles.delayButton, &PollingController::OnMeasureDelay);
    onClick(roles.rtcTestButton, &PollingController::OnRtcTest);
    onClick(roles.dataFormatBox, &PollingController::OnDataFormat);
    // Queued: the tick runs after the timer's own activation has ended. Qt does not fire a
    // timer again while its handler runs, and a message box that a tick leaves open must not
    // stop the ticks.
    connect(&pollTimer_, &QTimer::timeout, this, &CBrennoDlg::OnPollTimer, Qt::QueuedConnection);
    if (QComboBox* timeBase = Combo(roles.timeBaseList)) {
        connect(timeBase, &QComboBox::activated, this, [this, timeBase](int index) {
            controller_->OnTimeBaseChanged(timeBase->itemText(index) == "Local");
        });
    }
    if (QComboBox* ports = Combo(roles.portList)) {
        connect(ports, &QComboBox::activated, this, &CBrennoDlg::OnPortChosen);
        if (auto* list = qobject_cast<DropDownList*>(ports)) {
            list->beforePopup = [this] { RefreshPortList(); };
        }
    }
}

void CBrennoDlg::OnInitDialog() {
    const WindowRoles& roles = window_.roles;
    controller_->OnInitDialog();
    if (QComboBox* timeBase = Combo(roles.timeBaseList)) {
        timeBase->setCurrentIndex(timeBase->findText("Local"));
    }
    if (QComboBox* groups = Combo(roles.groupList)) {
        groups->clear();
        groups->addItem("Общий");
        for (int group = 1; group <= 16; ++group) {
            groups->addItem(QString::number(group));
        }
        groups->setCurrentIndex(0);
    }
    if (pollKinds_ != nullptr) {
        pollKinds_->button(roles.pollKindButtons.front())->setChecked(true);
    }
    channel_->LoadPortSettings(*settings_, *devices_);
    FillPortList();
    if (auto* writeToFile =
            qobject_cast<QAbstractButton*>(RoleWidget(roles.IdOf(ViewControl::kWriteToFile)))) {
        writeToFile->setChecked(false);
    }
}

void CBrennoDlg::FillPortList() {
    QComboBox* list = Combo(window_.roles.portList);
    if (list == nullptr) {
        return;
    }
    const DescribedPortList ports =
        DescribePortList(channel_->portList, channel_->portName, *devices_);
    channel_->portName = ports.selected;
    ShowPortList(ports);
}

void CBrennoDlg::RefreshPortList() {
    ShowPortList(channel_->RefreshPortList(*devices_));
}

void CBrennoDlg::ShowPortList(const DescribedPortList& ports) {
    QComboBox* list = Combo(window_.roles.portList);
    if (list == nullptr) {
        return;
    }
    list->clear();
    for (size_t i = 0; i < ports.items.size(); ++i) {
        const int index = AddSortedItem(*list, Q(ports.items[i]));
        if (!ports.tooltips[i].empty()) {
            list->setItemData(index, Q(ports.tooltips[i]), Qt::ToolTipRole);
        }
    }
    list->setCurrentIndex(list->findText(Q(ports.selected)));
    list->setToolTip(list->currentData(Qt::ToolTipRole).toString());
}

void CBrennoDlg::OnPortChosen(int index) {
    QComboBox* list = Combo(window_.roles.portList);
    channel_->portName = list->itemText(index).toStdString();
    list->setToolTip(list->itemData(index, Qt::ToolTipRole).toString());
    channel_->SavePortSetting(*settings_);
}

void CBrennoDlg::ShowAbout() {
    CAboutDlg about(window_.aboutBox, windowIcon(), this);
    about.exec();
}

void CBrennoDlg::SetText(ViewText role, const std::string& text) {
    QWidget* widget = RoleWidget(window_.roles.IdOf(role));
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        SetEditText(*edit, Q(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->text() != Q(text)) {
            label->setText(Q(text));
            AnnounceValueChange(*label);
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(Q(text));
        button->setAccessibleName(Q(text));
    }
}

std::string CBrennoDlg::Text(ViewText role) const {
    QWidget* widget = RoleWidget(window_.roles.IdOf(role));
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text().toStdString();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text().toStdString();
    }
    return {};
}

void CBrennoDlg::SetCaption(int slot, const std::string& text) {
    if (slot < 0 || slot >= static_cast<int>(kSlotCount)) {
        return;
    }
    const SlotControls& ids = kSlotControls[static_cast<size_t>(slot)];
    if (auto* caption = qobject_cast<QLabel*>(Control(ids.captionId))) {
        caption->setText(Q(text));
        caption->setAccessibleName(text.empty() ? QString("Подпись %1").arg(slot + 1) : Q(text));
    }
    // A value field is announced by the name of the value it shows.
    if (QWidget* value = Control(ids.valueId)) {
        value->setAccessibleName(text.empty() ? QString("Значение %1").arg(slot + 1) : Q(text));
    }
}

void CBrennoDlg::SetValue(int slot, const std::string& text) {
    if (slot < 0 || slot >= static_cast<int>(kSlotCount)) {
        return;
    }
    if (auto* value =
            qobject_cast<QLineEdit*>(Control(kSlotControls[static_cast<size_t>(slot)].valueId))) {
        SetEditText(*value, Q(text));
    }
}

void CBrennoDlg::EnableControl(ViewControl control, bool enabled) {
    if (QWidget* widget = RoleWidget(window_.roles.IdOf(control))) {
        widget->setEnabled(enabled);
    }
}

void CBrennoDlg::ShowFrame(ViewFrame frame, bool shown) {
    if (QWidget* widget = RoleWidget(window_.roles.IdOf(frame))) {
        widget->setVisible(shown);
    }
}

void CBrennoDlg::SetFocus(ViewControl control) {
    if (QWidget* widget = RoleWidget(window_.roles.IdOf(control))) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

void CBrennoDlg::Repaint() {
    if (isVisible()) {
        repaint();
    }
}

bool CBrennoDlg::IsChecked(ViewControl control) const {
    auto* button = qobject_cast<QAbstractButton*>(RoleWidget(window_.roles.IdOf(control)));
    return button != nullptr && button->isChecked();
}

void CBrennoDlg::SetChecked(ViewControl control, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(RoleWidget(window_.roles.IdOf(control)))) {
        button->setChecked(checked);
    }
}

int CBrennoDlg::PollKind() const {
    const std::vector<int>& buttons = window_.roles.pollKindButtons;
    for (size_t kind = 0; kind < buttons.size(); ++kind) {
        auto* radio = qobject_cast<QAbstractButton*>(Control(buttons[kind]));
        if (radio != nullptr && radio->isChecked()) {
            return static_cast<int>(kind);
        }
    }
    return 0;
}

int CBrennoDlg::GroupSelection() const {
    QComboBox* groups = Combo(window_.roles.groupList);
    return groups != nullptr && groups->currentIndex() > 0 ? groups->currentIndex() : 0;
}

void CBrennoDlg::ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) {
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
        case MessageIcon::kNone:
            break;
        case MessageIcon::kExclamation:
            boxIcon = QMessageBox::Warning;
            break;
        case MessageIcon::kInformation:
            boxIcon = QMessageBox::Information;
            break;
        case MessageIcon::kError:
            boxIcon = QMessageBox::Critical;
            break;
    }
    QMessageBox box(boxIcon, Q(caption), Q(text), QMessageBox::Ok, this);
    box.setObjectName("message");
    box.button(QMessageBox::Ok)->setText("ОК");
    box.exec();
}

std::optional<std::string> CBrennoDlg::ChooseLogFile() {
    for (;;) {
        const QString file = saveFileDialog_ ? saveFileDialog_(*this)
                                             : QFileDialog::getSaveFileName(
                                                   this, QString(), QString(), "*.txt", nullptr,
                                                   QFileDialog::DontUseNativeDialog);
        if (file.isEmpty()) {
            return std::nullopt;
        }
        if (file.size() <= kMaxLogFileNameLength) {
            return file.toStdString();
        }
        ShowMessage("Имя файла длиннее " + std::to_string(kMaxLogFileNameLength) +
                        " символов: " + file.toStdString(),
                    kErrorCaption, MessageIcon::kExclamation);
    }
}

std::optional<size_t> CBrennoDlg::ChooseParameter(const std::vector<ParameterChoice>& choices) {
    if (!parameterDialog_) {
        return std::nullopt;
    }
    return parameterDialog_(*this, choices);
}

void CBrennoDlg::ArmTimer(uint32_t periodMs) {
    timerArmed_ = true;
    if (windowTime_ != nullptr) {
        pollTimer_.setInterval(static_cast<int>(periodMs));
        windowTime_->ArmTimer(periodMs, [this] {
            QMetaObject::invokeMethod(this, &CBrennoDlg::OnPollTimer, Qt::QueuedConnection);
        });
        return;
    }
    pollTimer_.start(static_cast<int>(periodMs));
}

void CBrennoDlg::KillTimer() {
    timerArmed_ = false;
    if (windowTime_ != nullptr) {
        windowTime_->KillTimer();
    }
    pollTimer_.stop();
}

void CBrennoDlg::PumpMessagesFor(uint32_t milliseconds) {
    if (windowTime_ != nullptr) {
        windowTime_->Wait(milliseconds);
        return;
    }
    // The events of the window are dispatched until the deadline; in between the thread
    // sleeps in the event loop.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(static_cast<int>(milliseconds));
    loop.exec();
}

void CBrennoDlg::PumpMessagesHoldingTimer(uint32_t milliseconds) {
    const bool outer = !holdingTicks_;
    holdingTicks_ = true;
    PumpMessagesFor(milliseconds);
    if (outer) {
        holdingTicks_ = false;
        if (tickHeld_) {
            // Delivered once the running handler has returned to the event loop; a wait that
            // comes before that holds it back again.
            tickHeld_ = false;
            QMetaObject::invokeMethod(this, &CBrennoDlg::OnPollTimer, Qt::QueuedConnection);
        }
    }
}

void CBrennoDlg::OnPollTimer() {
    if (holdingTicks_) {
        tickHeld_ = true;
        return;
    }
    if (controller_ != nullptr) {
        controller_->OnTimer(1);
    }
}

bool CBrennoDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool filtered =
            key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
        if (filtered && widget != nullptr && widget->window() == this) {
            return true;  // Enter never presses a button, Escape never closes the window
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CBrennoDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The window's menu: the about item that the system menu carries on Windows.
    QMenu menu(this);
    menu.setObjectName("systemMenu");
    QAction* about = menu.addAction(Q(window_.aboutMenuText));
    about->setObjectName("aboutItem");
    QAction* monitor = menu.addAction(QString::fromUtf8(kMonitorTitle));
    monitor->setObjectName("lineMonitorItem");
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == about) {
        ShowAbout();
    } else if (chosen == monitor) {
        ShowLineMonitor();
    }
}

void CBrennoDlg::reject() {
    // The close box and Alt+F4 end here (Escape is filtered). Polling ends first, so that the
    // port and the log are closed in order; a Start that is running ends at its next wait.
    if (controller_ != nullptr && (controller_->IsPolling() || controller_->IsStarting())) {
        controller_->OnStop();
    }
    KillTimer();
    if (lineMonitor_) {
        lineMonitor_->close();
    }
    QDialog::reject();
}
