// SPDX-License-Identifier: MIT
// The STOP keys: one stops every motor from any window of the program, whatever has the
// focus, also while a message box or a modal window is open; the other stops the motor of
// the motor window the operator works in (or of the motor window whose message box is
// open). No control of the program uses either key.
#pragma once

#include <QString>
#include <Qt>

class QObject;

namespace demo {

// Stops all motors, as "&STOP -ALL-" does (only while that button is enabled).
inline constexpr Qt::Key kStopAllKey = Qt::Key_F9;
// Stops the motor of the motor window that has the focus, as its "&STOP" does.
inline constexpr Qt::Key kStopMotorKey = Qt::Key_F8;

// How the keys are named to the operator ("F9").
QString keyName(Qt::Key key);
// The tool tips that name the keys, for STOP -ALL- and for a motor window's STOP.
QString stopAllKeyHint();
QString stopMotorKeyHint();

// Whether `object` is a STOP button: the main window's "&STOP -ALL-" or a motor window's
// "&STOP".
bool isStopControl(const QObject *object);

// Makes the keys work in every window of the application; once, later calls do nothing.
void installStopKeys();

}  // namespace demo
