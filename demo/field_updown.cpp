// SPDX-License-Identifier: MIT
#include "field_updown.h"

#include <algorithm>
#include <limits>

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace demo {

int leadingNumber(const QString &text) {
    int i = 0;
    const int n = text.size();
    while (i < n && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    long long value = 0;
    for (; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > std::numeric_limits<int>::max()) {
            value = std::numeric_limits<int>::max() + static_cast<long long>(negative);
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

UpDown::UpDown(QWidget *parent) : QWidget(parent) {
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    up_->setAutoRepeat(true);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    down_->setAutoRepeat(true);
    for (QToolButton *arrow : {up_, down_}) {
        arrow->setFixedSize(16, 11);
        arrow->setFocusPolicy(Qt::NoFocus);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, &UpDown::upClick);
    connect(down_, &QToolButton::clicked, this, &UpDown::downClick);
}

void UpDown::setAssociate(QLineEdit *field) {
    field_ = field;
    if (field_) field_->setText(QString::number(position_));
}

void UpDown::setRange(int minimum, int maximum) {
    min_ = minimum;
    max_ = std::max(minimum, maximum);
    position_ = std::clamp(position_, min_, max_);
}

int UpDown::position() const {
    return field_ ? std::clamp(leadingNumber(field_->text()), min_, max_) : position_;
}

void UpDown::setPosition(int position) {
    position_ = std::clamp(position, min_, max_);
    if (field_) field_->setText(QString::number(position_));
}

void UpDown::press(Arrow arrow) {
    emit arrowPressed(arrow);
    const long long step = arrow == Arrow::Up ? increment_ : -static_cast<long long>(increment_);
    setPosition(static_cast<int>(std::clamp<long long>(position() + step, min_, max_)));
    emit stepped(position_);
}

void UpDown::upClick() { press(Arrow::Up); }

void UpDown::downClick() { press(Arrow::Down); }

}  // namespace demo
