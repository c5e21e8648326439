// The motor window: the control panel of one motor. One class serves all eight motors;
// motor m talks to controller address m-1.
#pragma once

#include <QDialog>

class QTimer;

namespace demo {

class TMtr : public QDialog {
    Q_OBJECT

public:
    // `motor` is 1..8.
    explicit TMtr(int motor, QWidget *parent = nullptr);

    int motor() const { return motor_; }

    // The polling timer; the main window stops it when the port closes.
    QTimer *Timer1;

private:
    int motor_;
};

}  // namespace demo
