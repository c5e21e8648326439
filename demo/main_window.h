// SPDX-License-Identifier: MIT
// The main window: opens and closes the serial port through the library, finds the
// controllers that answer, initialises the boards, opens the motor windows and the device
// dialogs, and hosts the commands that act on all motors at once.
#pragma once

#include <array>
#include <vector>

#include <QMainWindow>
#include <QPointer>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace demo {

class StatusPanels;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);

    // Asks the library which addresses answer, shows its answer, records the answering
    // addresses in AddrFound and enables the button of every motor found.
    void RefreshConnectedControllers();

    // The connection bar tells that the line gave no answer to a periodic read.
    void showLineLost();

    // The status panel of motor m (1..8).
    QLabel *motorPanel(int motor) const;

    // Tool-button panels.
    QFrame *MComm1;
    QToolButton *MOpenP;
    QToolButton *MChangeSP;
    QToolButton *MCloseSP;
    QFrame *PanM;
    QToolButton *Maddr;
    QToolButton *MCtrCon;
    QToolButton *MBInit;
    QToolButton *MCurrent;

    QLabel *MBMotorConn;

    // Initialisation group.
    QGroupBox *InitGroup;
    QPushButton *VIewADD;
    QPushButton *GETC;
    QPushButton *INITB;
    QPushButton *CurrW;
    QPushButton *IO;
    QPushButton *ADCB;

    // Motor buttons MBMotor1..MBMotor8 (MBMotor[0] is MBMotor1).
    QGroupBox *MotorGroup;
    std::array<QPushButton *, 8> MBMotor;

    // Board control panel.
    QGroupBox *BoardGroup;
    QPushButton *MBTriggerAll;
    QPushButton *MBPauseAll;
    QPushButton *JOGALLCCW;
    QPushButton *JOGALLCW;
    QPushButton *STOPALL;
    QPushButton *CCWALL;
    QPushButton *CWALL;
    QPushButton *StatusReg;
    std::array<StatusPanels *, 4> StatusBar;  // StatusBar[0] is StatusBar1

    QLabel *Bar1;

    // Main menu.
    QAction *Exit1;
    QMenu *SerialCommunication1;
    QAction *OpenSerialPort1;
    QAction *CloseSerialPort1;
    QMenu *ChangeBaudRate1;
    std::array<QAction *, 6> BaudRateItems;  // "&9600" .. "&230400"
    QMenu *SettingParameters1;
    QAction *SettingWidingCurrent1;
    QAction *AddressSetting1;
    QAction *SetADCChannels1;
    QAction *SetIODigitals1;
    QAction *RestoreDefaults1;  // forgets every remembered setting
    QMenu *Help1;
    QAction *DLLCommandsInformation1;
    QAction *OperatorsGuide1;  // the operator's guide, in the help window
    QAction *About1;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void MOpenPClick();
    void MCloseSPClick();
    void MChangeSPClick();
    void MaddrClick();
    void MCtrConClick();
    void INITBClick();
    void MCurrentClick();
    void IOClick();
    void ADCBClick();
    void StatusRegClick();
    void MBMotorClick(int motor);
    void MBTriggerAllClick();
    void MBPauseAllClick();
    void STOPALLClick();
    void CWALLClick();
    void CCWALLClick();
    void JOGALLClick(int direction);
    void Exit1Click();
    void About1Click();
    void DLLCommandsInformation1Click();
    void OperatorsGuide1Click();
    void RestoreDefaults1Click();
    // Chooses the port and rate remembered from the last run in the library's port dialog.
    void choosePortInDialog();

private:
    void buildToolPanels(QWidget *central);
    void buildGroups(QWidget *central);
    void buildMenu();
    // Gives the window its size and place on the screen it opens on.
    void placeOnScreen();
    void setBar(const QColor &background, const QString &text);
    void stopMotorTimers();
    // What a successful close shows; `allControls` also disables the panel buttons.
    void showPortClosed(bool allControls);
    // Before the program ends: keeps the fields of the open motor windows and where the
    // windows stand, and writes the settings.
    void rememberOnLeaving();

    // Controls that need an open port: the tool buttons, then the buttons of the groups.
    std::vector<QWidget *> portToolButtons_;
    std::vector<QWidget *> portPanelButtons_;
    // The motor windows in the order they were opened; a new one cascades from the last of
    // them that is still open.
    std::vector<QPointer<QWidget>> motorWindowsOpened_;
    // The remembered port and rate go into the port dialog only at its first opening in a
    // run; afterwards the library's own selection is the last one used.
    bool portChoiceRestored_ = false;
};

}  // namespace demo
