// SPDX-License-Identifier: MIT
// The digital I/O window: the direction of the 24 user I/O lines of a board (three ports
// of eight on its controllers 4k+1 to 4k+3), writing a value to one port and reading one.
#pragma once

#include <array>

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace demo {

class RadioGroup;

class TForm5 : public QDialog {
    Q_OBJECT

public:
    explicit TForm5(QWidget *parent = nullptr);

    QGroupBox *ConFDIO;
    std::array<QGroupBox *, 3> PortGroup;  // GroupBox2, GroupBox3, GroupBox4
    // USR[p-1][i] is USR_pi, line i of port p; checked makes the line an output.
    std::array<std::array<QCheckBox *, 8>, 3> USR;
    RadioGroup *NumberS1;
    QPushButton *ConfDig1;
    QLabel *Label1;
    QLineEdit *WRIO1;
    QListWidget *SPORT;
    QPushButton *MDWRIO1;
    QLabel *Label2;
    QLineEdit *RDP1;
    QPushButton *RDPORT1;
    QPushButton *BitBtn1;

    // The addresses of ports 1 to 3 of the selected station, in decimal.
    std::array<QString, 3> PortAddress{QStringLiteral("1"), QStringLiteral("2"),
                                       QStringLiteral("3")};

private slots:
    void ConfDig1Click();
    void MDWRIO1Click();
    void RDPORT1Click();
    void BitBtn1Click();

private:
    // Station k (1..4) has its ports at 4(k-1)+1 .. 4(k-1)+3.
    void setPortAddresses();
    // The address of the port selected in SPORT; with none selected an error box titled
    // `errorTitle` says so and the result is empty.
    QByteArray selectedPortAddress(const QString &errorTitle);
};

}  // namespace demo
