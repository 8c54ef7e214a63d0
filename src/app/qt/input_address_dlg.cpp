// SPDX-License-Identifier: MIT
#include "app/qt/input_address_dlg.h"

#include <QComboBox>
#include <QPushButton>

#include "app/qt/brenno_dlg.h"
#include "app/polmira_window.h"

CInputAddress::CInputAddress(const std::vector<ParameterChoice>& choices, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    const DialogTemplate& dialog = InputAddressTemplate();
    setObjectName(QString::number(dialog.id));
    setWindowTitle(QString::fromStdString(dialog.caption));
    setFont(TemplateFont(dialog.fontFamily, dialog.pointSize));
    const DialogBaseUnits base = BaseUnitsOf(font());
    CreateTemplateControls(*this, dialog, base);
    setFixedSize(DialogUnitsToPixelsX(dialog.width, base),
                 DialogUnitsToPixelsY(dialog.height, base));

    list_ = findChild<QComboBox*>("1044");
    ok_ = findChild<QPushButton*>("1");
    for (const ParameterChoice& choice : choices) {
        list_->addItem(QString::fromStdString(choice.label));
    }
    list_->setCurrentIndex(choices.empty() ? -1 : 0);
    ok_->setEnabled(!choices.empty());
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(findChild<QPushButton*>("2"), &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<size_t> CInputAddress::Selection() const {
    const int index = list_->currentIndex();
    if (index < 0) {
        return std::nullopt;
    }
    return static_cast<size_t>(index);
}

std::optional<size_t> CInputAddress::Choose(QWidget& owner,
                                            const std::vector<ParameterChoice>& choices) {
    CInputAddress dialog(choices, &owner);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Selection();
}
