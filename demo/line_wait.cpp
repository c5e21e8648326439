// SPDX-License-Identifier: MIT
#include "line_wait.h"

#include <thread>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>
#include <QWidget>

#include "CorvexLink.h"
#include "message_box.h"
#include "stop_keys.h"

namespace demo {
namespace {

int waits = 0;

std::vector<std::function<void()>> &deferred() {
    static std::vector<std::function<void()>> actions;
    return actions;
}

bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop: return true;
    default: return false;
    }
}

// Refuses the operator's input while a wait is under way, except what stops motors and what
// closes a message box. Installed after the STOP keys' filter, it sees every event first.
class InputRefusal final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();  // the window system's close button: the window stays
            return true;
        }
        if (!isInput(event->type())) return false;
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == kStopAllKey || key == kStopMotorKey) return false;
        }
        if (isStopControl(watched)) return false;  // a click, its mnemonic or Space on it
        const auto *widget = qobject_cast<QWidget *>(watched);
        return !(widget && qobject_cast<QMessageBox *>(widget->window()));
    }
};

}  // namespace

LineResult waitOnLine(const std::function<int()> &call) {
    BusyCursor busy;
    static InputRefusal *refusal = nullptr;
    if (waits++ == 0 && qApp) {
        refusal = new InputRefusal(qApp);
        qApp->installEventFilter(refusal);
    }
    LineResult outcome;
    QEventLoop wait;
    std::thread caller([&] {
        outcome.result = call();
        if (outcome.result == -1) outcome.error = QString::fromLocal8Bit(ZelmarGetErrorMessage());
        QMetaObject::invokeMethod(&wait, &QEventLoop::quit, Qt::QueuedConnection);
    });
    wait.exec();
    caller.join();
    if (--waits == 0) {
        delete refusal;
        refusal = nullptr;
        // An action may start a wait of its own; it then defers behind that one.
        std::vector<std::function<void()>> actions;
        actions.swap(deferred());
        for (const std::function<void()> &action : actions) action();
    }
    return outcome;
}

bool lineBusy() { return waits > 0; }

void whenLineFree(std::function<void()> action) {
    if (waits == 0) {
        action();
        return;
    }
    deferred().push_back(std::move(action));
}

}  // namespace demo
