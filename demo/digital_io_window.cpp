// SPDX-License-Identifier: MIT
#include "digital_io_window.h"

#include <algorithm>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "CorvexLink.h"
#include "field_updown.h"
#include "message_box.h"
#include "widget_builders.h"
#include "radio_group.h"

namespace demo {
namespace {

const QString kWriteError = QStringLiteral("Error Message in Writing the value to the Port ");
const QString kReadError = QStringLiteral("Error Message in Reading Port ");

}  // namespace

TForm5::TForm5(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("     Setup  Digital  IO"));

    ConFDIO = named(new QGroupBox(QStringLiteral("Configuration Digitals IO  ( Checked \"x\"  "
                                                 "USER/IO Configured  as \"OUTPUT\")   "),
                                  this),
                    QStringLiteral("ConFDIO"));
    auto *ports = new QHBoxLayout(ConFDIO);
    const QString portCaptions[] = {QStringLiteral("Set PORT\"1\"  "),
                                    QStringLiteral("Set \"PORT\"2\"  "),
                                    QStringLiteral("Set \"PORT\"3\"  ")};
    for (int p = 1; p <= 3; ++p) {
        QGroupBox *group = named(new QGroupBox(portCaptions[p - 1], ConFDIO),
                                 QStringLiteral("GroupBox%1").arg(p + 1));
        auto *lines = new QVBoxLayout(group);
        for (int i = 0; i < 8; ++i) {
            USR[p - 1][i] = named(new QCheckBox(QStringLiteral("USER%1_%2").arg(p).arg(i), group),
                                  QStringLiteral("USR_%1%2").arg(p).arg(i));
            lines->addWidget(USR[p - 1][i]);
        }
        PortGroup[p - 1] = group;
        ports->addWidget(group);
    }

    NumberS1 = named(new RadioGroup(QStringLiteral("Which  Station   "),
                                    {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                     QStringLiteral("4")},
                                    4, this),
                     QStringLiteral("NumberS1"));
    NumberS1->setItemIndex(0);
    ConfDig1 = named(
        new QPushButton(QStringLiteral("C&onfigure Digital IOs for the Station Selected"), this),
        QStringLiteral("ConfDig1"));

    Label1 = named(new QLabel(QStringLiteral("Type the value to be writen (0-255) :"), this),
                   QStringLiteral("Label1"));
    WRIO1 = named(new QLineEdit(QStringLiteral("0"), this), QStringLiteral("WRIO1"));
    WRIO1->setMaxLength(5);
    WRIO1->setFixedWidth(70);
    SPORT = named(new QListWidget(this), QStringLiteral("SPORT"));
    SPORT->addItems({QStringLiteral("PORT1"), QStringLiteral("PORT2"), QStringLiteral("PORT3")});
    SPORT->setCurrentRow(0);
    SPORT->setFixedSize(90, SPORT->sizeHintForRow(0) * 3 + 2 * SPORT->frameWidth() + 2);
    MDWRIO1 = named(new QPushButton(QStringLiteral("&Write to Port Selected"), this),
                    QStringLiteral("MDWRIO1"));
    Label2 = named(new QLabel(QStringLiteral("Read the value from the PORT Selected :"), this),
                   QStringLiteral("Label2"));
    RDP1 = named(new QLineEdit(this), QStringLiteral("RDP1"));
    RDP1->setReadOnly(true);
    RDP1->setFixedWidth(70);
    RDPORT1 = named(new QPushButton(QStringLiteral("&Read Port Selected"), this),
                    QStringLiteral("RDPORT1"));
    BitBtn1 = named(new QPushButton(QStringLiteral("&Close"), this), QStringLiteral("BitBtn1"));

    auto *values = new QGridLayout;
    values->addWidget(Label1, 0, 0);
    values->addWidget(WRIO1, 0, 1);
    values->addWidget(SPORT, 0, 2, 2, 1, Qt::AlignTop);
    values->addWidget(MDWRIO1, 0, 3);
    values->addWidget(Label2, 1, 0);
    values->addWidget(RDP1, 1, 1);
    values->addWidget(RDPORT1, 1, 3);
    values->setColumnStretch(0, 1);

    auto *station = new QHBoxLayout;
    station->addWidget(NumberS1, 1);
    station->addWidget(ConfDig1, 0, Qt::AlignBottom);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(ConFDIO);
    layout->addLayout(station);
    layout->addLayout(values);
    layout->addWidget(BitBtn1, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ConfDig1, &QPushButton::clicked, this, &TForm5::ConfDig1Click);
    connect(MDWRIO1, &QPushButton::clicked, this, &TForm5::MDWRIO1Click);
    connect(RDPORT1, &QPushButton::clicked, this, &TForm5::RDPORT1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm5::BitBtn1Click);
}

void TForm5::setPortAddresses() {
    const int station = std::max(NumberS1->itemIndex(), 0) + 1;
    for (int p = 1; p <= 3; ++p) PortAddress[p - 1] = QString::number(4 * (station - 1) + p);
}

QByteArray TForm5::selectedPortAddress(const QString &errorTitle) {
    const int port = SPORT->currentRow();
    if (port < 0 || port > 2 || !SPORT->item(port)->isSelected()) {
        errorBox(
            errorTitle,
            QStringLiteral("No port is selected: choose PORT1, PORT2 or PORT3 in the list first."));
        return {};
    }
    return PortAddress[port].toLatin1();
}

void TForm5::ConfDig1Click() {
    setPortAddresses();
    for (int p = 1; p <= 3; ++p) {
        int outputs = 0;
        for (int i = 0; i < 8; ++i)
            if (USR[p - 1][i]->isChecked()) outputs |= 1 << i;
        if (ConfigureDigitalUserIO(PortAddress[p - 1].toLatin1().constData(), outputs) == -1)
            libraryErrorBox(QStringLiteral("Error Message Configure Port %1").arg(p));
    }
}

void TForm5::MDWRIO1Click() {
    const int value = leadingNumber(WRIO1->text());
    setPortAddresses();
    const QByteArray address = selectedPortAddress(kWriteError);
    if (address.isEmpty()) return;
    if (WriteDigitalUserIO(address.constData(), value) == -1) libraryErrorBox(kWriteError);
}

void TForm5::RDPORT1Click() {
    setPortAddresses();
    const QByteArray address = selectedPortAddress(kReadError);
    if (address.isEmpty()) return;
    std::int32_t inputs = 0;
    if (ReadDigitalUserIO(address.constData(), &inputs) == -1) {
        libraryErrorBox(kReadError);
        inputs = 0;
    }
    RDP1->setText(QString::number(inputs & 255));
}

void TForm5::BitBtn1Click() { close(); }

}  // namespace demo
