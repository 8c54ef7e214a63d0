// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QIcon>

#include "app/dialog_template.h"

// The about box (template 100): the application icon, the program's name and version, one
// line on what it is for, and "ОК".
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    CAboutDlg(const DialogTemplate& dialog, const QIcon& icon, QWidget* parent);
};
