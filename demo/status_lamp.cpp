// SPDX-License-Identifier: MIT
// The status lamps: drawn in code, since their colour follows the motor's state.
#include "status_lamp.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "CorvexLink.h"

namespace demo {
namespace {

constexpr int kLampDiameter = 14;

}  // namespace

QColor runningLampColour() { return QColor(0, 176, 0); }

QColor limitLampColour() { return QColor(224, 0, 0); }

QColor statusLampColour(int bit) {
    const int flag = 1 << bit;
    if (flag == CORVEXLINK_STATUS_RUNING) return runningLampColour();
    if (flag == CORVEXLINK_STATUS_LS_CCW || flag == CORVEXLINK_STATUS_LS_CW)
        return limitLampColour();
    return {};
}

QPixmap lampPicture(LampState state, const QColor &litColour, int diameter) {
    QPixmap picture(diameter, diameter);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF round(1, 1, diameter - 2, diameter - 2);
    switch (state) {
    case LampState::Unknown:
        // Flat and pale: no light and no reading, and unlike a radio button's ring.
        painter.setPen(QPen(QColor(150, 150, 150), 1));
        painter.setBrush(QColor(205, 205, 205));
        break;
    case LampState::Off:
        painter.setPen(QPen(QColor(40, 40, 40), 1));
        painter.setBrush(QColor(72, 72, 72));
        break;
    case LampState::On: {
        painter.setPen(QPen(litColour.darker(160), 1));
        // Brighter in the middle, as a lamp that is lit looks.
        QRadialGradient glow(round.center(), diameter / 2.0);
        glow.setColorAt(0, litColour.lighter(160));
        glow.setColorAt(1, litColour);
        painter.setBrush(glow);
        break;
    }
    }
    painter.drawEllipse(round);
    return picture;
}

StatusLamp::StatusLamp(const QString &caption, const QColor &litColour, QWidget *parent)
    : QWidget(parent), litColour_(litColour) {
    picture_ = new QLabel(this);
    caption_ = new QLabel(caption, this);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(picture_);
    layout->addWidget(caption_);
    picture_->setPixmap(lampPicture(state_, litColour_, kLampDiameter));
}

void StatusLamp::setState(LampState state) {
    if (state == state_) return;
    state_ = state;
    picture_->setPixmap(lampPicture(state_, litColour_, kLampDiameter));
}

QString StatusLamp::caption() const { return caption_->text(); }

}  // namespace demo
