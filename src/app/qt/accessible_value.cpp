// SPDX-License-Identifier: MIT
#include "app/qt/accessible_value.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QVariant>

namespace {

constexpr const char* kValueControlProperty = "brennoValueControl";

QString ValueOf(const QWidget* widget) {
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        return combo->currentText();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    return {};
}

// The widget's label as its name and its shown text as its value; a drop-down list keeps its
// list of items as its child, so that the items can still be read and chosen.
class ValueControlAccessible : public QAccessibleWidget {
  public:
    ValueControlAccessible(QWidget* widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return widget()->accessibleName();
            case QAccessible::Value:
                return ValueOf(widget());
            default:
                return QAccessibleWidget::text(t);
        }
    }
    int childCount() const override { return List() != nullptr ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        QAbstractItemView* list = List();
        return index == 0 && list != nullptr ? QAccessible::queryAccessibleInterface(list)
                                             : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        QAbstractItemView* list = List();
        return list != nullptr && child != nullptr && child->object() == list ? 0 : -1;
    }

  private:
    QAbstractItemView* List() const {
        const auto* combo = qobject_cast<const QComboBox*>(widget());
        return combo != nullptr ? combo->view() : nullptr;
    }
};

QAccessibleInterface* ValueControlFactory(const QString& /*className*/, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr || !widget->property(kValueControlProperty).toBool()) {
        return nullptr;
    }
    if (qobject_cast<QComboBox*>(widget) != nullptr) {
        return new ValueControlAccessible(widget, QAccessible::ComboBox);
    }
    return new ValueControlAccessible(widget, QAccessible::StaticText);
}

}  // namespace

void MarkAsValueControl(QWidget& widget) {
    static const bool installed = [] {
        QAccessible::installFactory(ValueControlFactory);
        return true;
    }();
    (void)installed;
    widget.setProperty(kValueControlProperty, true);
    // An interface Qt made for the widget already (its construction may announce it) is
    // dropped, so that the next query makes this one.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(&widget)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
}

void AnnounceValueChange(QWidget& widget) {
    if (widget.property(kValueControlProperty).toBool()) {
        QAccessibleValueChangeEvent event(&widget, ValueOf(&widget));
        QAccessible::updateAccessibility(&event);
    }
}
