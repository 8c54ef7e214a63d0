// SPDX-License-Identifier: MIT
#include "app/win32/dialog_builder.h"

#include <cstring>
#include <string>

#include "app/win32/text_convert.h"

namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

// The template is written as 16-bit words; items start on 32-bit boundaries.
class TemplateWriter {
  public:
    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Short(int value) { Word(static_cast<WORD>(static_cast<short>(value))); }
    void Text(const std::wstring& text) {
        for (wchar_t c : text) {
            Word(static_cast<WORD>(c));
        }
        Word(0);
    }
    void Ordinal(WORD value) {
        Word(0xFFFF);
        Word(value);
    }
    void AlignToDword() {
        if (words_.size() % 2 != 0) {
            Word(0);
        }
    }
    size_t Position() const { return words_.size(); }
    void Patch(size_t position, WORD value) { words_[position] = value; }
    const std::vector<WORD>& Words() const { return words_; }

  private:
    std::vector<WORD> words_;
};

void WriteItemHeader(TemplateWriter& out, DWORD style, int x, int y, int w, int h, DWORD id) {
    out.AlignToDword();
    out.Dword(0);  // help id
    out.Dword(0);  // extended style
    out.Dword(style);
    out.Short(x);
    out.Short(y);
    out.Short(w);
    out.Short(h);
    out.Dword(id);
}

}  // namespace

DialogStyle MainWindowStyle() {
    return {DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
            WS_EX_APPWINDOW};
}

DialogStyle ModalDialogStyle() {
    return {DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0};
}

ControlStyle ControlStyleOf(const ControlTemplate& c) {
    ControlStyle s;
    switch (c.kind) {
        case ControlKind::kStatic:
            s = {kStaticClass, SS_LEFT | WS_GROUP};
            break;
        case ControlKind::kEdit:
            s = {kEditClass, ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_GROUP};
            if (c.readOnly) {
                s.style |= ES_READONLY;
            }
            break;
        case ControlKind::kPushButton:
            s = {kButtonClass, static_cast<DWORD>(c.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) |
                                   WS_TABSTOP | WS_GROUP};
            break;
        case ControlKind::kCheckBox:
            s = {kButtonClass, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP};
            break;
        case ControlKind::kPushLikeCheckBox:
            s = {kButtonClass, BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP | WS_GROUP};
            break;
        case ControlKind::kRadioButton:
            // One group from the button that starts it to the next control that starts one:
            // every other kind of control starts its own.
            s = {kButtonClass, BS_AUTORADIOBUTTON};
            if (c.startsGroup) {
                s.style |= WS_GROUP | WS_TABSTOP;
            }
            if (c.multiLine) {
                s.style |= BS_MULTILINE;
            }
            break;
        case ControlKind::kDropDownList:
            s = {kComboBoxClass, CBS_DROPDOWNLIST | WS_TABSTOP | WS_GROUP};
            if (c.sorted) {
                s.style |= CBS_SORT;
            }
            if (c.verticalScroll) {
                s.style |= WS_VSCROLL;
            }
            break;
        case ControlKind::kGroupBox:
            s = {kButtonClass, BS_GROUPBOX | WS_GROUP};
            break;
    }
    s.style |= WS_CHILD;
    if (!c.hidden) {
        s.style |= WS_VISIBLE;
    }
    if (c.disabled) {
        s.style |= WS_DISABLED;
    }
    return s;
}

DialogTemplateBuffer::DialogTemplateBuffer(const DialogTemplate& dialog, const DialogStyle& style,
                                           const std::vector<TemplateIcon>& icons) {
    TemplateWriter out;
    out.Word(1);       // version
    out.Word(0xFFFF);  // the extended template
    out.Dword(0);      // help id
    out.Dword(style.exStyle);
    out.Dword(style.style);
    out.Word(static_cast<WORD>(dialog.controls.size() + icons.size()));
    out.Short(0);
    out.Short(0);
    out.Short(dialog.width);
    out.Short(dialog.height);
    out.Word(0);  // no menu
    out.Word(0);  // the dialog class
    out.Text(Utf8ToWide(dialog.caption));
    out.Word(static_cast<WORD>(dialog.pointSize));
    out.Word(FW_NORMAL);
    out.Word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, character set
    out.Text(Utf8ToWide(dialog.fontFamily));

    for (const ControlTemplate& c : dialog.controls) {
        const ControlStyle s = ControlStyleOf(c);
        WriteItemHeader(out, s.style, c.x, c.y, c.width, c.height, static_cast<DWORD>(c.id));
        out.Ordinal(s.classOrdinal);
        out.Text(Utf8ToWide(c.caption));
        out.Word(0);  // no creation data
    }
    for (const TemplateIcon& icon : icons) {
        // The dialog manager loads the icon from the module and sizes the static to it.
        WriteItemHeader(out, WS_CHILD | WS_VISIBLE | SS_ICON, icon.x, icon.y, 21, 20,
                        static_cast<DWORD>(-1));
        out.Ordinal(kStaticClass);
        out.Ordinal(static_cast<WORD>(icon.resource));
        out.Word(0);
    }
    out.AlignToDword();
    const std::vector<WORD>& words = out.Words();
    words_.resize(words.size() / 2);
    std::memcpy(words_.data(), words.data(), words.size() * sizeof(WORD));
}

bool EndModalOnOkOrCancel(HWND dialog, UINT message, WPARAM wParam) {
    if (message == WM_CLOSE) {
        EndDialog(dialog, IDCANCEL);
        return true;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return true;
    }
    return false;
}
