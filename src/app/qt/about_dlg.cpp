// SPDX-License-Identifier: MIT
#include "app/qt/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/qt/brenno_dlg.h"

CAboutDlg::CAboutDlg(const DialogTemplate& dialog, const QIcon& icon, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QString::number(dialog.id));
    setWindowTitle(QString::fromStdString(dialog.caption));
    setFont(TemplateFont(dialog.fontFamily, dialog.pointSize));
    const DialogBaseUnits base = BaseUnitsOf(font());
    CreateTemplateControls(*this, dialog, base);

    // The icon at 14,14 in the system's icon size.
    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName("icon");
    iconLabel->setPixmap(icon.pixmap(32, 32));
    iconLabel->setGeometry(DialogUnitsToPixelsX(14, base), DialogUnitsToPixelsY(14, base), 32, 32);
    iconLabel->setAccessibleName("Значок программы");

    if (auto* ok = findChild<QPushButton*>("1")) {
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setFocus();
    }
    setFixedSize(DialogUnitsToPixelsX(dialog.width, base),
                 DialogUnitsToPixelsY(dialog.height, base));
}
