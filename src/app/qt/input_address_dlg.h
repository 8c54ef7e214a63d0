// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <cstddef>
#include <optional>
#include <vector>

#include "polling/dialog_view.h"

class QComboBox;
class QPushButton;

// "Выбор параметра для чтения" (template 103): the parameter that the read command polls.
// The first entry is preselected; "ОК" is disabled while the list is empty, since there is
// nothing to read then.
class CInputAddress : public QDialog {
    Q_OBJECT

  public:
    CInputAddress(const std::vector<ParameterChoice>& choices, QWidget* owner);

    // The entry selected now; nothing while the list is empty.
    std::optional<size_t> Selection() const;

    // Runs the dialog modally: the entry chosen with "ОК", nothing for "Отмена".
    static std::optional<size_t> Choose(QWidget& owner,
                                        const std::vector<ParameterChoice>& choices);

  private:
    QComboBox* list_ = nullptr;
    QPushButton* ok_ = nullptr;
};
