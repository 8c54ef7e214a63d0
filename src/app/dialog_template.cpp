// SPDX-License-Identifier: MIT
#include "app/dialog_template.h"

#include <cstdlib>
#include <utility>

namespace {

// a * b / c rounded to the nearest integer, halves away from zero (MulDiv).
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    const long long rounded = product >= 0 ? (product + half) / c : (product - half) / c;
    return static_cast<int>(rounded);
}

template <typename Entry, typename Role>
std::optional<int> FindRole(const std::vector<Entry>& entries, Role role) {
    for (const Entry& entry : entries) {
        if (entry.role == role && entry.id != 0) {
            return entry.id;
        }
    }
    return std::nullopt;
}

}  // namespace

ControlTemplate StaticControl(int id, std::string caption, int x, int y, int w, int h) {
    return {id, ControlKind::kStatic, std::move(caption), x, y, w, h};
}

ControlTemplate ReadOnlyEdit(int id, int x, int y, int w, int h, std::string accessibleName) {
    return ControlTemplate(id, ControlKind::kEdit, "", x, y, w, h)
        .ReadOnly()
        .Named(std::move(accessibleName));
}

ControlTemplate PushButton(int id, std::string caption, int x, int y, int w, int h) {
    return {id, ControlKind::kPushButton, std::move(caption), x, y, w, h};
}

ControlTemplate GroupBox(int id, std::string caption, int x, int y, int w, int h) {
    return {id, ControlKind::kGroupBox, std::move(caption), x, y, w, h};
}

const ControlTemplate* DialogTemplate::Find(int controlId) const {
    for (const ControlTemplate& control : controls) {
        if (control.id == controlId) {
            return &control;
        }
    }
    return nullptr;
}

int AverageCharWidth(int widthOfAlphabet) {
    return (widthOfAlphabet / 26 + 1) / 2;
}

int DialogUnitsToPixelsX(int units, const DialogBaseUnits& base) {
    return MulDiv(units, base.x, 4);
}

int DialogUnitsToPixelsY(int units, const DialogBaseUnits& base) {
    return MulDiv(units, base.y, 8);
}

PixelRect MapDialogRect(int x, int y, int width, int height, const DialogBaseUnits& base) {
    return {DialogUnitsToPixelsX(x, base), DialogUnitsToPixelsY(y, base),
            DialogUnitsToPixelsX(width, base), DialogUnitsToPixelsY(height, base)};
}

std::optional<int> WindowRoles::IdOf(ViewText role) const {
    return FindRole(texts, role);
}

std::optional<int> WindowRoles::IdOf(ViewControl role) const {
    return FindRole(controls, role);
}

std::optional<int> WindowRoles::IdOf(ViewFrame role) const {
    return FindRole(frames, role);
}
