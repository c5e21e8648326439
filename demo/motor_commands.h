// SPDX-License-Identifier: MIT
// What the motor window and the main window's all-motor commands send the same way: the
// relative move of one motor, and the title of a motor's error boxes.
#pragma once

#include <QByteArray>
#include <QString>

#include "program.h"

namespace demo {

// The title of the error boxes of motor m's window.
QString motorErrorCaption(int motor);

// What happens to the remaining calls of a relative move when its first-rate call fails.
enum class AfterFirstRateFailure { GoOn, Stop };

// Sends a relative move to `address`: slew rate, first rate, acceleration, then the steps.
// Every failed call shows a library error box titled `errorTitle`; the next call is still
// made unless the first-rate call failed and `rule` says Stop. Returns false when it
// stopped there.
bool sendRelativeMove(const QByteArray &address, MoveValues move, const QString &errorTitle,
                      AfterFirstRateFailure rule);

}  // namespace demo
