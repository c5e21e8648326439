// SPDX-License-Identifier: MIT
#include "window_size.h"

#include <algorithm>

#include <QFont>
#include <QFontMetrics>
#include <QWidget>

namespace demo {

int captionWidth(const QFont &font, const QString &title) {
    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    // The icon and three buttons (minimise, maximise, close) with their spacing, and a
    // margin at each end: about eight lines of text high in all.
    return metrics.horizontalAdvance(title) + 8 * metrics.height();
}

QSize frameAllowance(const QFont &font) {
    const int line = QFontMetrics(font).height();
    return {line / 2, 2 * line + line / 2};
}

void fixSizeWithCaption(QWidget *window) {
    QSize size = window->sizeHint();
    size.setWidth(std::max(size.width(), captionWidth(window->font(), window->windowTitle())));
    window->setFixedSize(size);
}

ScreenFit fitOnScreen(QSize natural, QSize frame, QSize available, int scrollBar) {
    const QSize room = available - frame;
    if (natural.width() <= room.width() && natural.height() <= room.height()) return {natural};
    const bool tooTall = natural.height() > room.height();
    const bool tooWide = natural.width() > room.width();
    QSize wanted = natural;
    if (tooTall) wanted.rwidth() += scrollBar;
    if (tooWide) wanted.rheight() += scrollBar;
    return {wanted.boundedTo(room), true};
}

}  // namespace demo
