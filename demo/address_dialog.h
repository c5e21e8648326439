// SPDX-License-Identifier: MIT
// The address dialog: shows how the address switches of each Corvex-B board must be set
// and checks, board by board, which of the board's four controller addresses answer.
#pragma once

#include <array>

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

namespace demo {

class RadioGroup;

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget *parent = nullptr);

    // The number of boards (0 = one board .. 3 = four boards).
    RadioGroup *Station1;
    QGroupBox *AddrT;
    // The switch pictures of the board's first to fourth controller (s[0] is s1).
    std::array<QLabel *, 4> s;
    // Show buttons Set1..Set4 (Set[0] is Set1).
    std::array<QPushButton *, 4> Set;
    QPushButton *VerifyAddr;
    QLabel *St1;
    // Result texts of the four controllers: SU13, SU14, SU16, SU17.
    std::array<QLabel *, 4> Results;
    QPushButton *BitBtn1;

private slots:
    void Station1Click(int index);
    void Set1Click();
    void Set2Click();
    void Set3Click();
    void Set4Click();
    void VerifyAddrClick();

private:
    void enableShowButtons();
    // Puts the switch pictures of board b (1..4) into s1..s4.
    void showBoard(int board);
    // Checks the four addresses of board b, records the answering ones, then reports.
    void verifyBoard(int board);
};

}  // namespace demo
