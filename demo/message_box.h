// Every message box of the program goes through here. The program shows its boxes with
// no owner window, an OK button and either the error icon or no icon; the real boxes are
// modal Qt message boxes. Tests install their own MessageBoxes to see what would have
// been shown without running a modal loop.
#pragma once

#include <QString>

namespace demo {

enum class BoxIcon { None, Error };

struct ShownBox {
    QString title;
    QString text;
    BoxIcon icon = BoxIcon::Error;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns once the user has closed it.
    virtual void show(const ShownBox &box) = 0;
    // Sounds a beep of the given pitch and length.
    virtual void beep(int hertz, int milliseconds) = 0;
};

// The boxes in use: the real ones unless a replacement was installed.
MessageBoxes &messageBoxes();
// Installs a replacement (not owned); nullptr restores the real boxes.
void setMessageBoxes(MessageBoxes *replacement);

// An error box with the error icon.
void errorBox(const QString &title, const QString &text);
// An error box whose text is the library's message of its last failure.
void libraryErrorBox(const QString &title);
// A box with no icon.
void plainBox(const QString &title, const QString &text);

}  // namespace demo
