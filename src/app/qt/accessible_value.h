// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

// Controls that show a value (a drop-down list, a label the program writes into) are announced
// by assistive technology as the value fields are: the control's label as its name, what it
// shows as its value. Qt's own interfaces name a drop-down list by its current item and a label
// by its text, which leaves a screen reader with a value and no label, or a label and no value.

// Marks the widget as such a control; its accessibleName() is the label.
void MarkAsValueControl(QWidget& widget);
// Tells assistive technology that a marked label shows a new value.
void AnnounceValueChange(QWidget& widget);
