// SPDX-License-Identifier: MIT
// A round lamp for one status flag of a motor: lit in its colour while the flag is set, dark
// while it is clear, pale while nothing is known (no reading yet, or the reading stopped).
// The motor window's live display and the status window's table draw the same lamps.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

class QLabel;

namespace demo {

enum class LampState { Unknown, Off, On };

// The colour of a lit lamp: green for a motor that runs, red for a limit switch that is
// reached.
QColor runningLampColour();
QColor limitLampColour();
// The lamp colour of status bit `bit` (0..9): the running bit and the two limit switches
// have one; the other bits show no lamp (an invalid colour).
QColor statusLampColour(int bit);

// A lamp of `diameter` pixels in `state`, lit in `litColour`.
QPixmap lampPicture(LampState state, const QColor &litColour, int diameter);

// A lamp with its caption beside it.
class StatusLamp : public QWidget {
    Q_OBJECT

public:
    StatusLamp(const QString &caption, const QColor &litColour, QWidget *parent = nullptr);

    LampState state() const { return state_; }
    void setState(LampState state);
    // On for true, Off for false.
    void setLit(bool lit) { setState(lit ? LampState::On : LampState::Off); }
    QString caption() const;

private:
    QColor litColour_;
    LampState state_ = LampState::Unknown;
    QLabel *picture_;
    QLabel *caption_;
};

}  // namespace demo
