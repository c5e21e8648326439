// SPDX-License-Identifier: MIT
#include "all_motors.h"

#include <array>
#include <cstdint>

#include <QByteArray>
#include <QLabel>
#include <QPushButton>

#include "CorvexLink.h"
#include "main_window.h"
#include "message_box.h"
#include "motor_commands.h"
#include "motor_window.h"
#include "program.h"

namespace demo {
namespace {

// The fixed move of CW all and CCW all, as printed in the main window's "Parameters:-" line.
constexpr std::int32_t kAllSteps = 1000;
constexpr MoveValues kAllMove{kAllSteps, 1, 600, 50};
constexpr int kAllJogSpeed = 600;

const char *const kTriggerOn = "&TRIGGER ALL-ON-";
const char *const kTriggerOff = "&TRIGGER ALL-OFF-";
const char *const kPauseAll = "&PAUSE  -ALL- ";
const char *const kQuitPause = "QUIT &PAUSE ALL";
const char *const kJogError = "ERROR JOG ALL MOTORS";

// Trigger all and pause all: eight motors when addresses 4 to 7 have all answered at some
// time (motors 1 to 4 are taken for granted), else four.
int motorsByAddresses() {
    const auto &found = program().AddrFound;
    for (int a = 4; a < kMotors; ++a)
        if (found[a] != a) return 4;
    return kMotors;
}

// CW all, CCW all and jog all: eight motors when every motor button is enabled, four when
// those of motors 1 to 4 are, else none (the operation refuses).
int motorsByButtons(const TForm1 &form) {
    int enabled = 0;
    while (enabled < kMotors && form.MBMotor[enabled]->isEnabled()) ++enabled;
    return enabled == kMotors ? kMotors : enabled >= 4 ? 4 : 0;
}

// The group address text of the first `motors` motors: "0,1,2,3" or "0,1,2,3,4,5,6,7".
QByteArray addressList(int motors) {
    QByteArray list;
    for (int a = 0; a < motors; ++a) list += (a ? "," : "") + QByteArray::number(a);
    return list;
}

QByteArray addressOf(int motor) { return QByteArray::number(motor - 1); }

QString addressErrorTitle(int address) {
    return QStringLiteral("ERROR MOTOR ADDRESS:%1").arg(address);
}

// Writes " Motor m : <event> " into motor m's status panel.
void showStatus(TForm1 &form, int motor, const char *event) {
    form.motorPanel(motor)->setText(
        QStringLiteral(" Motor %1 : %2 ").arg(motor).arg(QLatin1String(event)));
}

}  // namespace

void triggerAll(TForm1 &form) {
    const QByteArray list = addressList(motorsByAddresses());
    const bool switchOn = form.MBTriggerAll->text() == QLatin1String(kTriggerOn);
    // The caption changes before the call and stays changed when the call fails.
    form.MBTriggerAll->setText(QLatin1String(switchOn ? kTriggerOff : kTriggerOn));
    const int result =
        switchOn ? MotorTriggerON(list.constData()) : MotorTriggerOFF(list.constData());
    librarySucceeded(result, QStringLiteral("ERROR in Trigger All the Motors"));
}

void pauseAll(TForm1 &form) {
    const QByteArray list = addressList(motorsByAddresses());
    const bool switchOn = form.MBPauseAll->text() == QLatin1String(kPauseAll);
    const int result = switchOn ? MotorPauseON(list.constData()) : MotorPauseOFF(list.constData());
    librarySucceeded(result, QStringLiteral("ERROR in Pause All the Motors"));
    form.MBPauseAll->setText(QLatin1String(switchOn ? kQuitPause : kPauseAll));
    if (!switchOn) return;
    // Only the panels of motors 1 to 4 report the pause, also when eight motors were paused.
    for (int m = 1; m <= 4; ++m)
        if (form.MBMotor[m - 1]->isEnabled()) showStatus(form, m, "PAUSED");
}

void stopAll(TForm1 &form) {
    BusyCursor busy;
    for (int m = 1; m <= kMotors; ++m) {
        if (!form.MBMotor[m - 1]->isEnabled()) continue;
        const QString title =
            m <= 4 ? motorErrorCaption(m) : QStringLiteral("ERROR MOTOR %1").arg(m);
        if (!librarySucceeded(MotorStop(addressOf(m).constData()), title)) continue;
        if (TMtr *window = program().windows.Mtr[m - 1]) window->motorStopped();
        showStatus(form, m, "STOPPED");
    }
}

void moveAll(TForm1 &form, int sign) {
    const int motors = motorsByButtons(form);
    if (motors == 0) {
        errorBox(QStringLiteral("ERROR IN CWW"),
                 QStringLiteral("IN ORDER TO PROCEED 4 or 8 Controllres Must be ENABLED"));
        return;
    }

    BusyCursor busy;
    // Every status is read before any motor is told to move; a failed read ends it all.
    std::array<std::int32_t, kMotors> status{};
    for (int a = 0; a < motors; ++a)
        if (!librarySucceeded(MotorGetStatusRegister(QByteArray::number(a).constData(), &status[a]),
                              addressErrorTitle(a)))
            return;
    // The check only informs: a motor still moving gets the new move like the others.
    for (int m = 1; m <= motors; ++m)
        if (status[m - 1] & CORVEXLINK_STATUS_RUNING)
            showStatus(form, m,
                       status[m - 1] & CORVEXLINK_STATUS_PSED ? "PAUSED" : "STILL RUNNING");

    MoveValues move = kAllMove;
    move.steps = sign * kAllSteps;
    // A failed first rate leaves this and every later motor without a move.
    for (int a = 0; a < motors; ++a)
        if (!sendRelativeMove(QByteArray::number(a), move, addressErrorTitle(a),
                              AfterFirstRateFailure::Stop))
            break;
    for (int m = 1; m <= motors; ++m)
        showStatus(form, m, sign > 0 ? " RUNNING CW" : " RUNNING CCW");
}

void jogAll(TForm1 &form, int direction) {
    const int motors = motorsByButtons(form);
    if (motors == 0) {
        errorBox(
            QStringLiteral("In Order to perform this function 4 or 8 Controller must be detected"),
            QLatin1String(kJogError));
        return;
    }
    const QByteArray list = addressList(motors);
    if (!librarySucceeded(MotorJog(list.constData(), direction), QLatin1String(kJogError))) return;
    if (!librarySucceeded(MotorChangeJogSpeed(list.constData(), kAllJogSpeed),
                          QLatin1String(kJogError)))
        return;
    for (int m = 1; m <= motors; ++m)
        showStatus(form, m, direction == 1 ? " JOGGING CW" : " JOGGING CCW");
}

}  // namespace demo
