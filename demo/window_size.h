// SPDX-License-Identifier: MIT
// How large a window is: never narrower than its caption needs, so that the title bar shows
// the whole title; and, for the main window, never larger than the screen's available area,
// where its content scrolls instead. The rules work on sizes and fonts; the windows apply them.
#pragma once

#include <QSize>
#include <QString>

class QFont;
class QWidget;

namespace demo {

// The narrowest frame that shows `title` whole in its title bar: the title in the bold
// form of `font` (a title bar's font is set by the window system; a bold form of the
// program's font is the closest guess), plus room for the window icon and the frame's
// buttons.
int captionWidth(const QFont &font, const QString &title);

// The room a window system's frame is expected to take around a window whose font is
// `font`, before the window is shown and the real frame is known: a title bar and borders.
QSize frameAllowance(const QFont &font);

// Fixes `window` at the size its layout asks for, widened where its caption needs more.
void fixSizeWithCaption(QWidget *window);

// How the main window takes its place on a screen.
struct ScreenFit {
    QSize size;            // the window's size, without the frame
    bool scrolls = false;  // its content scrolls because the screen is too small for it
};

// A window whose layout asks for `natural`, with a frame of `frame` around it: the natural
// size when the two fit into `available`; else the size `available` leaves (no larger than
// needed), the content scrolling, with `scrollBar` pixels added across for the scroll bar
// (and down, when the width does not fit either).
ScreenFit fitOnScreen(QSize natural, QSize frame, QSize available, int scrollBar);

}  // namespace demo
