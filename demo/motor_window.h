// SPDX-License-Identifier: MIT
// The motor window: the control panel of one motor. One class serves all eight motors;
// motor m talks to controller address m-1. What a motor keeps between its windows (mode
// value, free FIFO room, remembered move values, segment table) lives in
// program().motors; the window holds only its captions, check boxes and timer.
#pragma once

#include <array>

#include <QByteArray>
#include <QDialog>

#include "message_box.h"
#include "program.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

namespace demo {

class RadioGroup;
class StatusLamp;
class StatusPanels;
class UpDown;

class TMtr : public QDialog {
    Q_OBJECT

public:
    // `motor` is 1..8.
    explicit TMtr(int motor, QWidget *parent = nullptr);

    int motor() const { return motor_; }

    // What the window does once its motor has been stopped (by STOP or by the main
    // window's stop-all): polling ends, the FIFO and encoder boxes are cleared (each
    // clearing sends the mode without its bit) and EXE Profile is no longer offered.
    void motorStopped();

    // Stops the motor as the STOP button does (the key that stops the motor of the window
    // the operator works in).
    void stopMotor();

    // Fills the fields with what the motor remembers: the move values of its last CW or CCW
    // press, and the jog speed, absolute target, step mode, home seek and "Live" switch the
    // last closed window of the motor left. Sends nothing.
    void showRememberedValues();
    // Keeps what the fields show (the move fields as typed, whether sent or not) and where
    // the window stands, for the motor's next window and the next run.
    void rememberFields();

    // The port opened again: the polling starts again if the FIFO or encoder box is ticked,
    // as ticking it started it (closing the port stopped it).
    void resumePolling();

    // Ends the live reading (the port closes): the switch goes off, the lamps go pale.
    // The operator's choice stays remembered.
    void stopLive();

    // Movement setup.
    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLineEdit *STNumber1;
    QLabel *Label2;
    QLineEdit *STSpeed1;
    UpDown *MDSLUpDown1;
    QLabel *Label3;
    QLineEdit *STSlope1;
    UpDown *MDADUpDown1;
    QLabel *Label4;
    QLineEdit *STInitSpeed1;
    UpDown *MDIRUpDown1;
    RadioGroup *StepperMode1;

    // Power, position counter and absolute move.
    QPushButton *POWER1;
    QPushButton *ResetCtr1;
    QPushButton *ReadCtr1;
    QLabel *StaticText2;
    QLabel *MDPosi1;
    QLabel *Label5;
    QLineEdit *MDAbst1;
    UpDown *MDAbsUpDown1;
    QToolButton *MDAbs1;

    // Motion.
    QPushButton *Stop1;
    QPushButton *MDTrigger1;
    QPushButton *MDTriggerOFF1;
    QPushButton *CCW1;
    QPushButton *CW1;
    QPushButton *MDPause1;
    RadioGroup *SeekHome1;

    // Jogging.
    QLabel *StaticText1;
    QLineEdit *MDISJOG1;
    UpDown *MDUpDownJ1;
    QToolButton *MDCCKW1;
    QToolButton *MDCKW1;
    QPushButton *BitBtn1;

    // FIFO profile.
    QGroupBox *GroupBox2;
    QCheckBox *MDEFIFO1;
    QPushButton *MDResF1;
    QPushButton *MDEXEP1;
    StatusPanels *StatusBar1;

    // Shaft encoder.
    QGroupBox *MDEnc1;
    QCheckBox *MDEnE1;
    QLabel *MDEncoder1;
    QPushButton *MDRsetE1;
    QPushButton *MDUpP1;

    QPushButton *MDClose1;

    // The polling timer; the main window stops it when the port closes.
    QTimer *Timer1;

    // The live reading: while "Live" is on and the window is open, the status register and
    // the position are read twice a second; the position shows in MDPosi1, the running bit
    // and the two limit switches on the lamps.
    QCheckBox *Live;
    StatusLamp *MovingLamp;
    StatusLamp *LimitCcwLamp;
    StatusLamp *LimitCwLamp;
    QTimer *LiveTimer;

public slots:
    // Escape closes the window like its frame does.
    void reject() override;

protected:
    // Closing stops the polling and the live reading, keeps the fields and hides the window.
    void closeEvent(QCloseEvent *event) override;
    // A window opened with "Live" on starts reading.
    void showEvent(QShowEvent *event) override;

private slots:
    void CW1Click();
    void CCW1Click();
    void Stop1Click();
    void ReadCtr1Click();
    void ResetCtr1Click();
    void MDEFIFO1Click(bool checked);
    void MDResF1Click();
    void MDEXEP1Click();
    void MDTrigger1Click();
    void MDTriggerOFF1Click();
    void MDPause1Click();
    void POWER1Click();
    void StepperMode1Click(int item);
    void MDEnE1Click(bool checked);
    void SeekHome1Click(int item);
    void MDRsetE1Click();
    void MDUpP1Click();
    void MDAbs1Click();
    void MDJogClick(int direction);
    void MDJOGCS1();
    void BitBtn1Click();
    void MDClose1Click();
    void Timer1Timer();
    void LiveClick(bool checked);
    void LiveTimerTimer();

private:
    QWidget *buildMovementSetup();
    QWidget *buildMotionPanel();
    QWidget *buildPositionPanel();
    QWidget *buildJogPanel();
    QWidget *buildFifoPanel();
    QWidget *buildEncoderPanel();
    QWidget *buildBottomRow();
    // Switches the live reading on (it reads while the window is open) or off.
    void setLive(bool on);

    MotorState &state() const;
    const MotorSetup &setup() const { return kMotorSetup[motor_ - 1]; }
    // Shows the window's error box when `result` reports a failure; true on success.
    bool succeeded(int result) const { return librarySucceeded(result, errorCaption_); }
    // A read of the polling tick: true on success, else periodicReadFailed().
    bool pollRead(int result);
    // A read of the polling tick or of Live failed: the window stops both, tells the main
    // window when the line gave no answer, and shows its one error box.
    void periodicReadFailed();
    // The move the fields show, the steps times `sign` (+1, or -1 for CCW).
    MoveValues fieldMoveValues(int sign) const;
    // CW (+1) and CCW (-1): remembers the fields and sends the move.
    void moveRelative(int sign);
    // Sends the mode value with MotorConfigureMode; true on success.
    bool sendMode();
    void showFreeFifo();

    int motor_;
    QByteArray address_;
    QString errorCaption_;
};

}  // namespace demo
