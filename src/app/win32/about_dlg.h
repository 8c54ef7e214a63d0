// SPDX-License-Identifier: MIT
#pragma once

#include "app/win32/windows_api.h"

#include "app/dialog_template.h"

// The about box (template 100): the application icon at 14,14, the program's name and
// version, a second line, "ОК".
class CAboutDlg {
  public:
    // Runs the box modally over the owner.
    static void Show(HWND owner, const DialogTemplate& dialog);

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};
