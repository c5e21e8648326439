// SPDX-License-Identifier: MIT
// Where a window opens: motor windows cascade, each new one a step from the last one that
// is still open, so that none opens exactly on top of another; a message box opens centred
// over the window that raised it. Both keep the window inside the screen's available area.
// The rules work on rectangles only; the windows apply them.
#pragma once

#include <optional>
#include <vector>

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace demo {

// Where a window stood: the top-left corner of its frame, and what the window system's frame
// added to the window's size there (not known for a place kept by an earlier version).
struct WindowPlace {
    QPoint corner;
    std::optional<QSize> frame;
};

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

// Where `window` stands now, with the frame the window system gave it.
WindowPlace placeOf(const QWidget *window);

// Whether a window of `size` at `place` is whole on a screen, with the frame it had when the
// place was kept, or with `assumedFrame` when that is not known.
bool placeFits(const WindowPlace &place, QSize size, QSize assumedFrame);

}  // namespace demo
