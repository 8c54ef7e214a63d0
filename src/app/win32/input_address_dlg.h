// SPDX-License-Identifier: MIT
#pragma once

#include "app/win32/windows_api.h"

#include <cstddef>
#include <optional>
#include <vector>

#include "polling/dialog_view.h"

// "Выбор параметра для чтения" (template 103): the parameter that the read command polls.
// The first entry is preselected; "ОК" is disabled while the list is empty, since there is
// nothing to read then.
class CInputAddress {
  public:
    // The list control's id.
    static constexpr int kParameterList = 1044;

    // Runs the dialog modally: the entry chosen with "ОК", nothing for "Отмена".
    static std::optional<size_t> Choose(HWND owner, const std::vector<ParameterChoice>& choices);

  private:
    explicit CInputAddress(const std::vector<ParameterChoice>& choices) : choices_(choices) {}
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND hwnd);

    const std::vector<ParameterChoice>& choices_;
    std::optional<size_t> selection_;
};
