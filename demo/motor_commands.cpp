// SPDX-License-Identifier: MIT
// The relative move and the error-box title shared by the motor window and the all-motor
// commands.
#include "motor_commands.h"

#include "CorvexLink.h"
#include "message_box.h"

namespace demo {

QString motorErrorCaption(int motor) { return QStringLiteral("Error Message Motor %1").arg(motor); }

bool sendRelativeMove(const QByteArray &address, MoveValues move, const QString &errorTitle,
                      AfterFirstRateFailure rule) {
    const char *a = address.constData();
    librarySucceeded(MotorSlewRate(a, move.slewRate), errorTitle);
    if (!librarySucceeded(MotorFirstRate(a, move.firstRate), errorTitle) &&
        rule == AfterFirstRateFailure::Stop)
        return false;
    librarySucceeded(MotorAccelDecel(a, move.accel), errorTitle);
    librarySucceeded(MotorNumberStepRel(a, move.steps), errorTitle);
    return true;
}

}  // namespace demo
