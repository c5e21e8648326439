// SPDX-License-Identifier: MIT
// The small builders every window uses while its constructor lays it out: a widget named
// after its component (its objectName, with an optional hint), and a push button.
#pragma once

#include <QString>

class QPushButton;
class QWidget;

namespace demo {

// Gives `widget` the object name `name` and, when `hint` is not empty, that tool tip;
// returns the widget so that it can be built, named and stored in one expression.
template <class Widget>
Widget *named(Widget *widget, const QString &name, const QString &hint = {}) {
    widget->setObjectName(name);
    if (!hint.isEmpty()) widget->setToolTip(hint);
    return widget;
}

template <class Widget>
Widget *named(Widget *widget, const char *name, const QString &hint = {}) {
    return named(widget, QLatin1String(name), hint);
}

// A push button named `name` with `caption` and `hint`, at least `minimumHeight` pixels
// high. It is never a dialog's default button: Enter in a field must not press it.
QPushButton *pushButton(QWidget *parent, const char *name, const QString &caption,
                        int minimumHeight, const QString &hint = {});

}  // namespace demo
