// SPDX-License-Identifier: MIT
#include "baud_rate_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CorvexLink.h"
#include "main_window.h"
#include "line_wait.h"
#include "message_box.h"
#include "program.h"
#include "radio_group.h"
#include "settings.h"
#include "window_size.h"

namespace demo {

int TForm4::positionOfRate(int rate) {
    switch (rate) {
    case 9600: return 0;
    case 19200: return 1;
    case 38400:
    case 57600:
    case 115200: return 2;
    default: return -1;
    }
}

TForm4::TForm4(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Change  Baud Rate Host and all Stations"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto *layout = new QVBoxLayout(this);

    CBRate = new RadioGroup(
        QStringLiteral("Baud Rate "),
        {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")}, 3, this);
    CBRate->setObjectName(QStringLiteral("CBRate"));
    layout->addWidget(CBRate);
    DOCBRate = new QPushButton(QStringLiteral("Change &Baud Rate Host and  Stations"), this);
    DOCBRate->setObjectName(QStringLiteral("DOCBRate"));
    layout->addWidget(DOCBRate);
    layout->addWidget(
        new QLabel(QStringLiteral("The Version  1.10 allows 38400 bauds maximum"), this));
    BitBtn2 = new QPushButton(QStringLiteral("Clo&se"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    layout->addWidget(BitBtn2, 0, Qt::AlignRight);

    CBRate->setItemIndex(positionOfRate(ZelmarGetBaudRate()));

    connect(DOCBRate, &QPushButton::clicked, this, &TForm4::DOCBRateClick);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::close);
    fixSizeWithCaption(this);
}

// With no entry selected there is no rate to request, and the click is ignored.
void TForm4::DOCBRateClick() {
    const int position = CBRate->itemIndex();
    if (position < 0) return;
    const int rate = kRates[position];
    const LineResult changed = waitOnLine([rate] { return ZelmarChangeBaudRate(rate); });
    if (changed.result == -1) {
        errorBox(QStringLiteral(" ERROR in Changing the Baud Rate "), changed.error);
        return;
    }
    rememberPortAndRate();
    if (TForm1 *main = program().windows.Form1)
        main->Bar1->setText(QStringLiteral(" Serial Port Opened at: %1").arg(ZelmarGetBaudRate()));
}

}  // namespace demo
