// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "polling/dialog_view.h"

// A window described as a dialog template: the controls with their kinds, captions and places
// in dialog units, in the template's order (which is also the tab and stacking order). Pure
// data, so that the two programs' layouts are tables and the conversion can be tested alone.

enum class ControlKind {
    kStatic,
    kEdit,
    kPushButton,
    kCheckBox,
    kPushLikeCheckBox,
    kRadioButton,
    kDropDownList,
    kGroupBox,
};

struct ControlTemplate {
    int id = -1;  // -1 for a control without identifier
    ControlKind kind = ControlKind::kStatic;
    std::string caption;
    int x = 0, y = 0, width = 0, height = 0;

    bool readOnly = false;     // edit
    bool sorted = false;       // drop-down list
    bool isDefault = false;    // push button
    bool startsGroup = false;  // radio button
    bool multiLine = false;    // radio button
    bool hidden = false;
    bool disabled = false;
    bool verticalScroll = false;     // drop-down list
    std::vector<std::string> items;  // drop-down list: the items the template brings
    // The name a screen reader gives the control when its caption does not say it (fields).
    std::string accessibleName;
    // A static text the program writes a value into: announced by its name, with the text as
    // its value (drop-down lists always are).
    bool showsValue = false;

    ControlTemplate() = default;
    ControlTemplate(int controlId, ControlKind controlKind, std::string text, int left, int top,
                    int w, int h)
        : id(controlId),
          kind(controlKind),
          caption(std::move(text)),
          x(left),
          y(top),
          width(w),
          height(h) {}

    // Builders for the template tables.
    ControlTemplate ReadOnly() const {
        return With([](auto& c) { c.readOnly = true; });
    }
    ControlTemplate Sorted() const {
        return With([](auto& c) { c.sorted = true; });
    }
    ControlTemplate Default() const {
        return With([](auto& c) { c.isDefault = true; });
    }
    ControlTemplate StartsGroup() const {
        return With([](auto& c) { c.startsGroup = true; });
    }
    ControlTemplate MultiLine() const {
        return With([](auto& c) { c.multiLine = true; });
    }
    ControlTemplate Hidden() const {
        return With([](auto& c) { c.hidden = true; });
    }
    ControlTemplate Disabled() const {
        return With([](auto& c) { c.disabled = true; });
    }
    ControlTemplate VerticalScroll() const {
        return With([](auto& c) { c.verticalScroll = true; });
    }
    ControlTemplate Items(std::vector<std::string> list) const {
        return With([&](auto& c) { c.items = std::move(list); });
    }
    ControlTemplate Named(std::string name) const {
        return With([&](auto& c) { c.accessibleName = std::move(name); });
    }
    ControlTemplate ShowsValue() const {
        return With([](auto& c) { c.showsValue = true; });
    }

  private:
    template <typename Change>
    ControlTemplate With(Change change) const {
        ControlTemplate copy = *this;
        change(copy);
        return copy;
    }
};

// The template tables' control kinds: a static text, a read-only edit field (with the name a
// screen reader gives it), a push button, a group box.
ControlTemplate StaticControl(int id, std::string caption, int x, int y, int w, int h);
ControlTemplate ReadOnlyEdit(int id, int x, int y, int w, int h, std::string accessibleName = {});
ControlTemplate PushButton(int id, std::string caption, int x, int y, int w, int h);
ControlTemplate GroupBox(int id, std::string caption, int x, int y, int w, int h);

struct DialogTemplate {
    int id = 0;  // the template's resource number
    std::string caption;
    int width = 0, height = 0;
    std::string fontFamily;
    int pointSize = 0;
    std::vector<ControlTemplate> controls;

    const ControlTemplate* Find(int controlId) const;
};

// The pixel size of one horizontal and one vertical dialog-unit step of a font: a quarter of
// its average character width and an eighth of its height, as the dialog manager measures them.
struct DialogBaseUnits {
    int x = 0;  // average character width in pixels
    int y = 0;  // character height in pixels
};

// The average character width from the width of the 52 Latin letters, as the dialog manager
// rounds it: (width / 26 + 1) / 2.
int AverageCharWidth(int widthOfAlphabet);

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Dialog units to pixels (MapDialogRect): x and width times base x / 4, y and height times
// base y / 8, each rounded to the nearest pixel, halves away from zero.
int DialogUnitsToPixelsX(int units, const DialogBaseUnits& base);
int DialogUnitsToPixelsY(int units, const DialogBaseUnits& base);
PixelRect MapDialogRect(int x, int y, int width, int height, const DialogBaseUnits& base);

// Which control of a window plays which role for the controller; 0 where the window has none.
struct WindowRoles {
    struct TextRole {
        ViewText role;
        int id;
    };
    struct ControlRole {
        ViewControl role;
        int id;
    };
    struct FrameRole {
        ViewFrame role;
        int id;
    };
    std::vector<TextRole> texts;
    std::vector<ControlRole> controls;
    std::vector<FrameRole> frames;
    // The poll-kind radio buttons in kind order (0, 1, 2), and the group list.
    std::vector<int> pollKindButtons;
    int groupList = 0;
    int portList = 0;
    int timeBaseList = 0;
    int startButton = 0;
    int stopButton = 0;
    int syncButton = 0;
    int delayButton = 0;
    int rtcTestButton = 0;
    int dataFormatBox = 0;

    std::optional<int> IdOf(ViewText role) const;
    std::optional<int> IdOf(ViewControl role) const;
    std::optional<int> IdOf(ViewFrame role) const;
};

// Everything one program's window is made of.
struct WindowDescription {
    DialogTemplate mainWindow;  // template 102
    DialogTemplate aboutBox;    // template 100
    WindowRoles roles;
    std::string aboutMenuText;  // string resource 101
    std::string iconResource;   // the application icon, a Qt resource path
};
