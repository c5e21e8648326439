// SPDX-License-Identifier: MIT
// Every message box of the program goes through here, and so do the other ways the program
// speaks to the user outside its windows: the beep and the busy pointer. The program shows
// its boxes with no owner window, an OK button and either the error icon or no icon. A box
// opens centred over the window that is active when it is raised (the window whose button
// or key started the handler), kept inside the screen; with no owner, Qt would put it in the
// middle of the screen.
//
// A box holds up only the handler that raised it: the handler waits for the box to be
// closed and then goes on, while every window keeps taking clicks and keys and every timer
// keeps ticking, so STOP acts at once whatever boxes are open. Handlers run on the one
// window thread, so a handler that raises a box while another box waits runs inside the
// first one's wait: boxes are closed newest first, and an older box takes its OK only once
// every newer one is closed. While a modal window is open the box is modal too (the rest of
// the program is out of reach then anyway, and the box must not be).
//
// Tests install their own MessageBoxes to see what would have been shown without showing it.
#pragma once

#include <QString>
#include <Qt>

class QWidget;

namespace demo {

enum class BoxIcon { None, Error };

struct ShownBox {
    QString title;
    QString text;
    BoxIcon icon = BoxIcon::Error;
    // The window the box belongs to; null for the window that is active when it is raised
    // (the one whose button or key started the handler).
    QWidget *raisedFrom = nullptr;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns once the user has closed it.
    virtual void show(const ShownBox &box) = 0;
    // Sounds a beep of the given pitch and length.
    virtual void beep(int hertz, int milliseconds) = 0;
    // Shows `shape` over every window until the matching popCursor(); pushes nest.
    virtual void pushCursor(Qt::CursorShape shape) = 0;
    virtual void popCursor() = 0;
};

// The boxes in use: the real ones unless a replacement was installed.
MessageBoxes &messageBoxes();
// Installs a replacement (not owned); nullptr restores the real boxes.
void setMessageBoxes(MessageBoxes *replacement);

// An error box with the error icon.
void errorBox(const QString &title, const QString &text);
// An error box whose text is the library's message of its last failure; `raisedFrom` as in
// ShownBox (a timer's box belongs to the window of the timer).
void libraryErrorBox(const QString &title, QWidget *raisedFrom = nullptr);
// A box with no icon.
void plainBox(const QString &title, const QString &text);

// Shows the library's error box titled `errorTitle` when `result` reports a failure (-1);
// true when the call succeeded.
bool librarySucceeded(int result, const QString &errorTitle);

// The window a message box was raised from, when `window` is a box shown here (nullptr when
// that window is gone); any other window itself.
QWidget *windowThatRaised(QWidget *window);

// The busy pointer over every window for the life of the guard: for the waits on the line
// that last more than a moment, so that the program does not look hung. A box shown while
// a guard lives gets the normal pointer, since the program then waits for the user.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

}  // namespace demo
