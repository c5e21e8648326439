// SPDX-License-Identifier: MIT
#include "radio_group.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace demo {

RadioGroup::RadioGroup(const QString &title, const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(title, parent), items_(new QButtonGroup(this)) {
    auto *layout = new QGridLayout(this);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        items_->addButton(button, i);
        layout->addWidget(button, i % rows, i / rows);
    }
    connect(items_, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
}

int RadioGroup::itemIndex() const { return items_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
    if (QAbstractButton *button = items_->button(index)) {
        button->setChecked(true);
        return;
    }
    items_->setExclusive(false);
    for (QAbstractButton *button : items_->buttons()) button->setChecked(false);
    items_->setExclusive(true);
}

int RadioGroup::count() const { return static_cast<int>(items_->buttons().size()); }

QRadioButton *RadioGroup::item(int index) const {
    return qobject_cast<QRadioButton *>(items_->button(index));
}

}  // namespace demo
