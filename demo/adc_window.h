// SPDX-License-Identifier: MIT
// The ADC window: reads one analog channel, or all eleven, of a board's master controller.
// The resolution and channel chosen here are the program's and outlive the window; the
// master address starts at "0" in every new window.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace demo {

class RadioGroup;

class TADC : public QDialog {
    Q_OBJECT

public:
    explicit TADC(QWidget *parent = nullptr);

    RadioGroup *ChannelsAD1;
    RadioGroup *ADReso1;
    RadioGroup *MCAdd1;
    QLabel *Label1;
    QPlainTextEdit *Memo1;
    QLabel *Label2;
    QPlainTextEdit *Memo2;
    QPushButton *READADC1;
    QPushButton *RaddAll;
    QPushButton *BitBtn2;

    // The master controller whose converter is read: "0", "4", "8" or "12".
    QString MasterAddress = QStringLiteral("0");

private slots:
    void ChannelsAD1Click(int item);
    void ADReso1Click(int item);
    void MCAdd1Click(int item);
    void READADC1Click();
    void RaddAllClick();
    void BitBtn2Click();
};

}  // namespace demo
