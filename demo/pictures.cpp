// SPDX-License-Identifier: MIT
#include "pictures.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

namespace demo {
namespace {

constexpr int kToolSize = 32;

QPixmap blankTool() {
    QPixmap picture(kToolSize, kToolSize);
    picture.fill(Qt::transparent);
    return picture;
}

void drawPlug(QPainter &p, QColor colour) {
    p.setPen(QPen(colour.darker(150), 1.5));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(6, 9, 20, 13), 3, 3);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(11 + 5 * i, 13.5), 1.4, 1.4);
    for (int i = 0; i < 2; ++i) p.drawEllipse(QPointF(13.5 + 5 * i, 17.5), 1.4, 1.4);
    p.setPen(QPen(colour.darker(150), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 22), QPointF(16, 29));
}

void drawOpenPort(QPainter &p) {
    drawPlug(p, QColor(0, 140, 60));
    p.setPen(QPen(QColor(0, 140, 60), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 2), QPointF(16, 7));
}

void drawClosePort(QPainter &p) {
    drawPlug(p, QColor(190, 30, 30));
    p.setPen(QPen(QColor(190, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 1), QPointF(16, 7));
    p.drawLine(QPointF(16, 1), QPointF(10, 7));
}

void drawChangeRate(QPainter &p) {
    p.setPen(QPen(QColor(30, 60, 150), 2));
    p.setBrush(QColor(220, 230, 250));
    p.drawPie(QRectF(3, 6, 26, 26), 0, 180 * 16);
    p.setPen(QPen(QColor(200, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 19), QPointF(24, 11));
    p.setPen(QPen(QColor(30, 60, 150), 1.5));
    for (int i = 0; i <= 4; ++i) {
        const double angle = 3.14159 * i / 4;
        p.drawLine(QPointF(16 - 11 * std::cos(angle), 19 - 11 * std::sin(angle)),
                   QPointF(16 - 9 * std::cos(angle), 19 - 9 * std::sin(angle)));
    }
    p.setFont(QFont(QStringLiteral("Sans Serif"), 6, QFont::Bold));
    p.drawText(QRectF(0, 21, 32, 10), Qt::AlignCenter, QStringLiteral("bps"));
}

void drawAddress(QPainter &p) {
    p.setPen(QPen(QColor(120, 0, 0), 1));
    p.setBrush(QColor(200, 20, 20));
    p.drawRect(QRectF(2, 7, 28, 18));
    p.setPen(Qt::NoPen);
    for (int k = 0; k < 4; ++k) {
        p.setBrush(QColor(60, 60, 60));
        p.drawRect(QRectF(5 + 6.5 * k, 10, 4.5, 12));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5 + 6.5 * k, (k % 2) ? 16 : 10, 4.5, 6));
    }
}

// A chip: its body and four pins above and below, `pinStep` apart from 3 px inside the
// left edge, each `pinLength` long.
void drawChip(QPainter &p, const QRectF &body, const QColor &fill, qreal pinStep, qreal pinLength) {
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(fill);
    p.drawRect(body);
    p.setPen(QPen(QColor(200, 200, 200), 1));
    for (int i = 0; i < 4; ++i) {
        const qreal x = body.left() + 3 + pinStep * i;
        p.drawLine(QPointF(x, body.top() - pinLength), QPointF(x, body.top()));
        p.drawLine(QPointF(x, body.bottom()), QPointF(x, body.bottom() + pinLength));
    }
}

void drawControllers(QPainter &p) {
    drawChip(p, QRectF(3, 4, 18, 18), QColor(50, 90, 50), 4, 3);
    p.setPen(QPen(QColor(30, 60, 150), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QPointF(19, 18), 7, 7);
    p.drawLine(QPointF(24, 23), QPointF(30, 29));
}

void drawInit(QPainter &p) {
    drawChip(p, QRectF(6, 6, 20, 20), QColor(70, 70, 90), 4.5, 4);
    p.setPen(QPen(QColor(255, 200, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(10, 10, 12, 12), 60 * 16, 300 * 16);
    p.drawLine(QPointF(19, 11), QPointF(22, 9));
}

void drawCurrent(QPainter &p) {
    p.setPen(QPen(QColor(150, 80, 0), 2));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) p.drawEllipse(QRectF(3 + 5 * i, 10, 9, 14));
    QPainterPath bolt;
    bolt.moveTo(20, 1);
    bolt.lineTo(13, 16);
    bolt.lineTo(18, 16);
    bolt.lineTo(14, 31);
    bolt.lineTo(25, 13);
    bolt.lineTo(20, 13);
    bolt.lineTo(24, 1);
    bolt.closeSubpath();
    p.setPen(QPen(QColor(120, 90, 0), 1));
    p.setBrush(QColor(255, 210, 0));
    p.drawPath(bolt);
}

}  // namespace

QIcon toolPicture(ToolPicture picture) {
    QPixmap pixmap = blankTool();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (picture) {
    case ToolPicture::OpenPort: drawOpenPort(painter); break;
    case ToolPicture::ChangeRate: drawChangeRate(painter); break;
    case ToolPicture::ClosePort: drawClosePort(painter); break;
    case ToolPicture::Address: drawAddress(painter); break;
    case ToolPicture::Controllers: drawControllers(painter); break;
    case ToolPicture::Init: drawInit(painter); break;
    case ToolPicture::Current: drawCurrent(painter); break;
    }
    painter.end();
    return QIcon(pixmap);
}

QIcon programIcon() { return toolPicture(ToolPicture::Controllers); }

QRect switchSlot(int position) { return QRect(33 + (position - 1) * 16, 8, 10, 28); }

QPixmap switchPicture(int address) {
    QPixmap picture(kSwitchPictureWidth, kSwitchPictureHeight);
    picture.fill(QColor(200, 16, 16));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, false);

    // "ON" and its arrow at the left of the block.
    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("Sans Serif"), 7, QFont::Bold));
    p.drawText(QRect(2, 30, 24, 12), Qt::AlignCenter, QStringLiteral("ON"));
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(14, 27, 14, 10);
    QPolygon head;
    head << QPoint(14, 5) << QPoint(9, 12) << QPoint(19, 12);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawPolygon(head);

    // The block with its four slots and knobs, the positions numbered below.
    p.setBrush(QColor(140, 0, 0));
    p.setPen(QPen(QColor(90, 0, 0), 1));
    p.drawRect(28, 4, 68, 36);
    p.setFont(QFont(QStringLiteral("Sans Serif"), 6, QFont::Bold));
    for (int k = 1; k <= 4; ++k) {
        const QRect slot = switchSlot(k);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 40, 40));
        p.drawRect(slot);
        const bool on = (address & (1 << (k - 1))) == 0;
        const int half = slot.height() / 2;
        p.setBrush(QColor::fromRgba(kSwitchKnobColour));
        p.drawRect(QRect(slot.left(), on ? slot.top() : slot.top() + half, slot.width(), half));
        p.setPen(Qt::white);
        p.drawText(QRect(slot.left() - 3, 40, slot.width() + 6, 10), Qt::AlignCenter,
                   QString::number(k));
    }
    return picture;
}

QImage gridPicture() {
    QImage grid(kGridWidth, kGridHeight, QImage::Format_RGB32);
    grid.fill(QColor::fromRgb(kGridGround));
    QPainter p(&grid);
    p.setPen(QPen(QColor::fromRgb(kGridLine), 1));
    // The last line of each direction lies on the far edge, one pixel inside the picture.
    for (int x = 0; x <= kGridWidth; x += 50) {
        const int column = std::min(x, kGridWidth - 1);
        p.drawLine(column, 0, column, kGridHeight - 1);
    }
    for (int y = 0; y <= kGridHeight; y += 40) {
        const int row = std::min(y, kGridHeight - 1);
        p.drawLine(0, row, kGridWidth - 1, row);
    }
    return grid;
}

}  // namespace demo
