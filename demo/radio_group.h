// SPDX-License-Identifier: MIT
// A titled group of radio items laid out in columns, with one selected item or none.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

namespace demo {

class RadioGroup : public QGroupBox {
    Q_OBJECT

public:
    RadioGroup(const QString &title, const QStringList &items, int columns,
               QWidget *parent = nullptr);

    // The selected item, or -1 when none is.
    int itemIndex() const;
    // Selects an item (-1 or an index out of range selects none). Emits nothing.
    void setItemIndex(int index);
    int count() const;
    QRadioButton *item(int index) const;

signals:
    // The user selected an item.
    void clicked(int index);

private:
    QButtonGroup *items_;
};

}  // namespace demo
