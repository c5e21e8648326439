// SPDX-License-Identifier: MIT
// The baud-rate dialog: moves the host and every station to another line rate.
#pragma once

#include <QDialog>

class QPushButton;

namespace demo {

class RadioGroup;

class TForm4 : public QDialog {
    Q_OBJECT

public:
    explicit TForm4(QWidget *parent = nullptr);

    // The rates of the CBRate entries, in list order.
    static constexpr int kRates[] = {9600, 19200, 38400};
    // The list position that shows `rate`: the faster rates the list lacks show as its
    // last entry; -1 for a rate the dialog does not know.
    static int positionOfRate(int rate);

    RadioGroup *CBRate;
    QPushButton *DOCBRate;
    QPushButton *BitBtn2;

private slots:
    void DOCBRateClick();
};

}  // namespace demo
