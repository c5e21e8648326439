// SPDX-License-Identifier: MIT
// Where a window opens: motor windows cascade, each new one a step from the last one that
// is still open, so that none opens exactly on top of another; a message box opens centred
// over the window that raised it. Both keep the window inside the screen's available area.
// The rules work on rectangles only; the windows apply them.
#pragma once

#include <vector>

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace demo {

// The step from one motor window to the next, down and to the right.
inline constexpr int kCascadeStep = 28;

// The position of a new window whose frame has `size`: `last` (the top-left corner of the
// last window of its kind that is open) moved by one step, then by further steps while
// another open window of the kind (`taken`) has its corner there. A corner that would carry
// any part of the frame past the right or bottom edge of `available` starts again at the
// top-left corner of `available`, so a window that fits on the screen is always whole on it.
// A window larger than `available` along an axis still cascades eight steps along it, so
// every title bar stays on the screen.
QPoint cascadedPosition(QPoint last, const std::vector<QPoint> &taken, QSize size,
                        const QRect &available);

// The position that centres a window of `size` over `anchor`, moved inside `available`
// where it would stick out (its top-left corner stays inside in any case).
QPoint centredOver(const QRect &anchor, QSize size, const QRect &available);

// The available area of the screen `window` is on (the primary screen when it has none).
QRect availableArea(const QWidget *window);

// Whether `frame` lies whole inside the available area of one of the screens (a remembered
// place is used only then: the screens may have changed since).
bool wholeOnAScreen(const QRect &frame);

}  // namespace demo
