// SPDX-License-Identifier: MIT
// The push-button builder the windows share (the templates are in the header).
#include "widget_builders.h"

#include <QPushButton>

namespace demo {

QPushButton *pushButton(QWidget *parent, const char *name, const QString &caption,
                        int minimumHeight, const QString &hint) {
    auto *button = named(new QPushButton(caption, parent), name, hint);
    button->setAutoDefault(false);
    button->setMinimumHeight(minimumHeight);
    return button;
}

}  // namespace demo
