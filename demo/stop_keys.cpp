// SPDX-License-Identifier: MIT
// The STOP keys, watched for the whole application: a key press reaches the application's
// event filters before any window's widgets, so the keys work wherever the focus is, in
// message boxes and modal windows too.
#include "stop_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPushButton>

#include "main_window.h"
#include "message_box.h"
#include "motor_window.h"
#include "program.h"

namespace demo {
namespace {

class StopKeyFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::KeyPress) return false;
        // A key goes to a window first, which hands it to its widget with the focus: the
        // widget's turn tells which window of the program the key was typed in.
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget) return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (modifiers != Qt::NoModifier) return false;
        if (key->key() == kStopAllKey) {
            if (!key->isAutoRepeat()) stopAll();
            return true;
        }
        if (key->key() == kStopMotorKey) {
            if (!key->isAutoRepeat()) stopMotorOf(widget->window());
            return true;
        }
        return false;
    }

private:
    static void stopAll() {
        TForm1 *main = program().windows.Form1;
        if (main && main->STOPALL->isEnabled()) main->STOPALL->click();
    }

    // The motor of the motor window the key was typed in, or of the one that raised the
    // message box it was typed in.
    static void stopMotorOf(QWidget *window) {
        if (auto *motor = qobject_cast<TMtr *>(windowThatRaised(window))) motor->stopMotor();
    }
};

}  // namespace

bool isStopControl(const QObject *object) {
    const auto *button = qobject_cast<const QPushButton *>(object);
    if (!button) return false;
    const TForm1 *main = program().windows.Form1;
    if (main && button == main->STOPALL) return true;
    const auto *motor = qobject_cast<const TMtr *>(button->window());
    return motor && button == motor->Stop1;
}

QString keyName(Qt::Key key) { return QKeySequence(key).toString(QKeySequence::NativeText); }

QString stopAllKeyHint() {
    return QStringLiteral("Key %1 stops all motors, from any window of the program")
        .arg(keyName(kStopAllKey));
}

QString stopMotorKeyHint() {
    return QStringLiteral("Key %1 stops this motor; %2 stops all motors")
        .arg(keyName(kStopMotorKey), keyName(kStopAllKey));
}

void installStopKeys() {
    static StopKeyFilter *filter = nullptr;
    if (filter || !qApp) return;
    filter = new StopKeyFilter(qApp);
    qApp->installEventFilter(filter);
}

}  // namespace demo
