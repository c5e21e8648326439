// SPDX-License-Identifier: MIT
// The real message boxes: each box is shown without blocking the other windows, and the
// handler that raised it waits in a local event loop until it is closed.
#include "message_box.h"

#include <vector>

#include <QApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpacerItem>

#include "CorvexLink.h"
#include "tone.h"
#include "window_placement.h"
#include "window_size.h"

namespace demo {
namespace {

class WaitingBox;

// The boxes whose handlers wait, oldest first. Their waits are nested event loops on the
// one thread, so they end newest first.
std::vector<WaitingBox *> &waitingBoxes() {
    static std::vector<WaitingBox *> boxes;
    return boxes;
}

// A box that can be closed only while it is the newest one: the handler of an older box
// cannot go on before the newer boxes' handlers have, so its OK waits for them.
class WaitingBox final : public QMessageBox {
public:
    explicit WaitingBox(const ShownBox &box)
        : QMessageBox(box.icon == BoxIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                      box.title, box.text, QMessageBox::Ok) {
        if (box.raisedFrom) raisedFrom_ = box.raisedFrom;
        // A modal window holds every other window; a box of no modality would be held with
        // them and could never be closed.
        setWindowModality(QApplication::activeModalWidget() ? Qt::ApplicationModal : Qt::NonModal);
        // A box is as wide as its text and buttons need; a longer title would be cut off in
        // the title bar. A box fixes its own size, so an empty row as wide as the caption
        // needs is what widens it.
        if (auto *grid = qobject_cast<QGridLayout *>(layout())) {
            const int margins = grid->contentsMargins().left() + grid->contentsMargins().right();
            grid->addItem(new QSpacerItem(captionWidth(font(), box.title) - margins, 0,
                                          QSizePolicy::Minimum, QSizePolicy::Fixed),
                          grid->rowCount(), 0, 1, grid->columnCount());
        }
    }

    // The box has no owner, so the window system would put it anywhere (or in the middle of
    // the screen); it opens centred over the window the user was working in, the one whose
    // handler raised it.
    void showEvent(QShowEvent *event) override {
        QMessageBox::showEvent(event);
        if (raisedFrom_)
            move(
                centredOver(raisedFrom_->frameGeometry(), frameSize(), availableArea(raisedFrom_)));
    }

    // Shows the box and returns once it is closed (or the program is ending).
    void showAndWait() {
        auto &boxes = waitingBoxes();
        if (!boxes.empty()) boxes.back()->setClosable(false);
        boxes.push_back(this);
        QEventLoop wait;
        connect(this, &QDialog::finished, &wait, &QEventLoop::quit);
        show();
        wait.exec();
        boxes.pop_back();
        if (!boxes.empty()) boxes.back()->setClosable(true);
    }

    void done(int result) override {
        if (waitingBoxes().empty() || waitingBoxes().back() == this) QMessageBox::done(result);
    }

    QWidget *raisedFrom() const { return raisedFrom_; }

private:
    // Taken before the box exists, while the raising window is still the active one.
    QPointer<QWidget> raisedFrom_ = QApplication::activeWindow();

    void setClosable(bool closable) {
        if (QAbstractButton *ok = button(QMessageBox::Ok)) ok->setEnabled(closable);
    }
};

class QtMessageBoxes final : public MessageBoxes {
public:
    void show(const ShownBox &box) override {
        WaitingBox shown(box);
        shown.showAndWait();
    }
    // The tone on the audio output; the desktop's plain beep where there is none.
    void beep(int hertz, int milliseconds) override {
        if (!playTone(hertz, milliseconds)) QApplication::beep();
    }
    void pushCursor(Qt::CursorShape shape) override { QGuiApplication::setOverrideCursor(shape); }
    void popCursor() override { QGuiApplication::restoreOverrideCursor(); }
};

MessageBoxes *replacementBoxes = nullptr;
int busyGuards = 0;

void showBox(const ShownBox &box) {
    MessageBoxes &boxes = messageBoxes();
    if (busyGuards == 0) {
        boxes.show(box);
        return;
    }
    boxes.pushCursor(Qt::ArrowCursor);
    boxes.show(box);
    boxes.popCursor();
}

}  // namespace

MessageBoxes &messageBoxes() {
    static QtMessageBoxes real;
    return replacementBoxes ? *replacementBoxes : real;
}

void setMessageBoxes(MessageBoxes *replacement) { replacementBoxes = replacement; }

void errorBox(const QString &title, const QString &text) { showBox({title, text, BoxIcon::Error}); }

void libraryErrorBox(const QString &title, QWidget *raisedFrom) {
    showBox({title, QString::fromLocal8Bit(ZelmarGetErrorMessage()), BoxIcon::Error, raisedFrom});
}

void plainBox(const QString &title, const QString &text) { showBox({title, text, BoxIcon::None}); }

bool librarySucceeded(int result, const QString &errorTitle) {
    if (result != -1) return true;
    libraryErrorBox(errorTitle);
    return false;
}

QWidget *windowThatRaised(QWidget *window) {
    if (auto *box = dynamic_cast<WaitingBox *>(window)) return box->raisedFrom();
    return window;
}

BusyCursor::BusyCursor() {
    ++busyGuards;
    messageBoxes().pushCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    messageBoxes().popCursor();
    --busyGuards;
}

}  // namespace demo
