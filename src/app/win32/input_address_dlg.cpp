// SPDX-License-Identifier: MIT
#include "app/win32/input_address_dlg.h"

#include "app/polmira_window.h"
#include "app/win32/dialog_builder.h"
#include "app/win32/text_convert.h"

std::optional<size_t> CInputAddress::Choose(HWND owner,
                                            const std::vector<ParameterChoice>& choices) {
    CInputAddress dialog(choices);
    const DialogTemplateBuffer buffer(InputAddressTemplate(), ModalDialogStyle());
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), buffer.get(), owner,
                                &CInputAddress::DialogProc, reinterpret_cast<LPARAM>(&dialog));
    if (result != IDOK) {
        return std::nullopt;
    }
    return dialog.selection_;
}

void CInputAddress::OnInitDialog(HWND hwnd) {
    HWND list = GetDlgItem(hwnd, kParameterList);
    for (const ParameterChoice& choice : choices_) {
        SendMessageW(list, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Utf8ToWide(choice.label).c_str()));
    }
    if (!choices_.empty()) {
        SendMessageW(list, CB_SETCURSEL, 0, 0);
        selection_ = 0;
    }
    EnableWindow(GetDlgItem(hwnd, IDOK), choices_.empty() ? FALSE : TRUE);
}

INT_PTR CALLBACK CInputAddress::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        reinterpret_cast<CInputAddress*>(lParam)->OnInitDialog(hwnd);
        return TRUE;
    }
    auto* self = reinterpret_cast<CInputAddress*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == kParameterList &&
        HIWORD(wParam) == CBN_SELCHANGE) {
        const LRESULT index = SendDlgItemMessageW(hwnd, kParameterList, CB_GETCURSEL, 0, 0);
        if (index >= 0) {
            self->selection_ = static_cast<size_t>(index);
        }
        return TRUE;
    }
    return EndModalOnOkOrCancel(hwnd, message, wParam) ? TRUE : FALSE;
}
