// SPDX-License-Identifier: MIT
#pragma once

#include "app/win32/windows_api.h"

#include <cstdint>
#include <vector>

#include "app/dialog_template.h"

// A dialog template in memory (DLGTEMPLATEEX) built from the template tables, so that the
// dialog manager lays the window out from dialog units and the template's font itself.

// The window styles of the three kinds of dialog the programs show.
struct DialogStyle {
    DWORD style = 0;
    DWORD exStyle = 0;
};
// The main window: a fixed-size popup with caption, system menu and minimise box, in the
// taskbar.
DialogStyle MainWindowStyle();
// The about box and the parameter dialog: a modal popup with caption and system menu.
DialogStyle ModalDialogStyle();

// The window class (a predefined class's ordinal) and the styles of one control.
struct ControlStyle {
    WORD classOrdinal = 0;  // 0x0080 button, 0x0081 edit, 0x0082 static, 0x0085 combo box
    DWORD style = 0;
};
ControlStyle ControlStyleOf(const ControlTemplate& control);

// An icon (a static showing the icon resource) to add to a template, at x, y dialog units.
struct TemplateIcon {
    int resource = 0;
    int x = 0, y = 0;
};

// The template's bytes, DWORD-aligned as CreateDialogIndirectParamW wants them.
class DialogTemplateBuffer {
  public:
    DialogTemplateBuffer(const DialogTemplate& dialog, const DialogStyle& style,
                         const std::vector<TemplateIcon>& icons = {});
    LPCDLGTEMPLATEW get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data()); }
    size_t size() const { return words_.size() * sizeof(uint32_t); }

  private:
    std::vector<uint32_t> words_;
};

// The ending every modal dialog of the programs shares: "ОК" and "Отмена" (or the close box)
// end it with their command. True when the message was such an ending and is handled.
bool EndModalOnOkOrCancel(HWND dialog, UINT message, WPARAM wParam);
