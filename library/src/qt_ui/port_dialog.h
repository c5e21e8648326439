// SPDX-License-Identifier: MIT
// The library's port dialog: "Serial Port Configuration", shown modally by PortConfigure.
// Choosing a rate or a port takes effect at once in the library's selected rate and port;
// the dialog has no cancel, so however it is closed the port is then opened with what is
// selected.
#pragma once

#include <QDialog>

#include <cstdint>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace corvex::qt_ui {

class TForm2 : public QDialog {
    Q_OBJECT

public:
    // The dialog shows and changes the library's selection through these references.
    TForm2(std::int32_t &selectedPort, std::int32_t &selectedBaudRate, QWidget *parent = nullptr);

    // The rates of the "BaudRate" items, in item order.
    static constexpr int kRates[] = {9600, 19200, 38400, 57600, 115200};

    QGroupBox *RadioGroup1;
    QButtonGroup *RadioGroup1Items;
    QLabel *StaticText1;
    QComboBox *Port1;
    QPushButton *Conf1;

private slots:
    void RadioGroup1Click(int index);
    void Port1Change();
    void Conf1Click();

private:
    void showSelection();

    std::int32_t &selectedPort_;
    std::int32_t &selectedBaudRate_;
};

}  // namespace corvex::qt_ui
