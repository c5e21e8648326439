// SPDX-License-Identifier: MIT
// The winding current window: the current in mA of every motor whose station was found,
// kept in the program's requested-current table and sent through the boards' SPI bus.
#pragma once

#include <array>

#include <QDialog>

#include "program.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace demo {

class UpDown;

class TCurrentWin : public QDialog {
    Q_OBJECT

public:
    explicit TCurrentWin(QWidget *parent = nullptr);

    QGroupBox *SCWinding;
    // Row k (1..16) stands for address k-1: StaticText[k-1] is StaticTextk ("Motor  k:"),
    // Curr[k-1] is Currk, UpDowns[k-1] is UpDownk and MilliAmps[k-1] is StaticText(20+k).
    std::array<QLabel *, kAddresses> StaticText;
    std::array<QLineEdit *, kAddresses> Curr;
    std::array<UpDown *, kAddresses> UpDowns;
    std::array<QLabel *, kAddresses> MilliAmps;
    QLabel *StaticText17;
    QLabel *StaticText18;
    QLabel *StaticText20;
    QPushButton *SetCurr1;
    QPushButton *GetCurr1;
    QPushButton *CloseCurr;

private slots:
    void SetCurr1Click();
    void GetCurr1Click();
    void CloseCurrClick();
};

}  // namespace demo
