// SPDX-License-Identifier: MIT
#include "window_placement.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace demo {
namespace {

// The last top-left corner along one axis that keeps a window of `extent` inside the area
// from `start` of length `length`. A window longer than the area cannot stay inside; it
// gets eight steps, so that such windows do not all cover each other's title bars.
int lastCorner(int start, int length, int extent) {
    return extent <= length ? start + length - extent : start + 8 * kCascadeStep;
}

}  // namespace

QPoint cascadedPosition(QPoint last, const std::vector<QPoint> &taken, QSize size,
                        const QRect &available) {
    const int right = lastCorner(available.left(), available.width(), size.width());
    const int bottom = lastCorner(available.top(), available.height(), size.height());
    auto step = [&](QPoint from) {
        QPoint next = from + QPoint(kCascadeStep, kCascadeStep);
        if (next.x() > right || next.y() > bottom || next.x() < available.left() ||
            next.y() < available.top())
            next = available.topLeft();
        return next;
    };
    QPoint next = step(last);
    // At most one lap through every corner the cascade can reach; with more open windows
    // than corners the window shares one.
    const int corners =
        std::min(right - available.left(), bottom - available.top()) / kCascadeStep + 2;
    for (int i = 0; i < corners && std::find(taken.begin(), taken.end(), next) != taken.end(); ++i)
        next = step(next);
    return next;
}

QPoint centredOver(const QRect &anchor, QSize size, const QRect &available) {
    QPoint corner = anchor.topLeft() + QPoint((anchor.width() - size.width()) / 2,
                                              (anchor.height() - size.height()) / 2);
    corner.setX(std::min(corner.x(), available.right() + 1 - size.width()));
    corner.setY(std::min(corner.y(), available.bottom() + 1 - size.height()));
    corner.setX(std::max(corner.x(), available.left()));
    corner.setY(std::max(corner.y(), available.top()));
    return corner;
}

QRect availableArea(const QWidget *window) {
    QScreen *screen = window ? window->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

bool wholeOnAScreen(const QRect &frame) {
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&frame](const QScreen *screen) {
        return screen->availableGeometry().contains(frame);
    });
}

WindowPlace placeOf(const QWidget *window) {
    return {window->pos(), window->frameSize() - window->size()};
}

bool placeFits(const WindowPlace &place, QSize size, QSize assumedFrame) {
    return wholeOnAScreen(QRect(place.corner, size + place.frame.value_or(assumedFrame)));
}

}  // namespace demo
