// SPDX-License-Identifier: MIT
#include "app/win32/about_dlg.h"

#include "app/win32/brenno_dlg.h"
#include "app/win32/dialog_builder.h"

void CAboutDlg::Show(HWND owner, const DialogTemplate& dialog) {
    const DialogTemplateBuffer buffer(dialog, ModalDialogStyle(), {{kIconResource, 14, 14}});
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), buffer.get(), owner, &CAboutDlg::DialogProc,
                            0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    return message == WM_INITDIALOG || EndModalOnOkOrCancel(hwnd, message, wParam) ? TRUE : FALSE;
}
