// SPDX-License-Identifier: MIT
#include "pictures.h"

#include <algorithm>

#include <QPainter>

namespace demo {

QString toolPictureFile(ToolPicture picture) {
    switch (picture) {
    case ToolPicture::OpenPort: return QStringLiteral(":/pictures/open_port.svg");
    case ToolPicture::ChangeRate: return QStringLiteral(":/pictures/change_rate.svg");
    case ToolPicture::ClosePort: return QStringLiteral(":/pictures/close_port.svg");
    case ToolPicture::Address: return QStringLiteral(":/pictures/address.svg");
    case ToolPicture::Controllers: return QStringLiteral(":/pictures/controllers.svg");
    case ToolPicture::Init: return QStringLiteral(":/pictures/init.svg");
    case ToolPicture::Current: return QStringLiteral(":/pictures/current.svg");
    }
    return {};
}

QIcon toolPicture(ToolPicture picture) { return QIcon(toolPictureFile(picture)); }

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
