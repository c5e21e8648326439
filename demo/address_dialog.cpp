// SPDX-License-Identifier: MIT
#include "address_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CorvexLink.h"
#include "line_wait.h"
#include "message_box.h"
#include "pictures.h"
#include "program.h"
#include "radio_group.h"
#include "window_size.h"

namespace demo {
namespace {

constexpr int kControllersPerBoard = 4;

QLabel *resultText(QWidget *parent, const QString &name) {
    auto *text = new QLabel(parent);
    text->setObjectName(name);
    text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    text->setMinimumWidth(110);
    text->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    return text;
}

}  // namespace

TForm3::TForm3(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral(" Setup Network Address"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto *layout = new QVBoxLayout(this);

    Station1 = new RadioGroup(QStringLiteral("Number of  \"Corvex-B\"  Connected   "),
                              {QStringLiteral("\"ONE\" "), QStringLiteral("\"TWO\" "),
                               QStringLiteral("\"THREE\" "), QStringLiteral("\"FOUR\" ")},
                              4, this);
    Station1->setObjectName(QStringLiteral("Station1"));
    layout->addWidget(Station1);

    AddrT =
        new QGroupBox(QStringLiteral("Please Set The Following Address in The Corvex-B "), this);
    AddrT->setObjectName(QStringLiteral("AddrT"));
    auto *rows = new QGridLayout(AddrT);
    const QString labels[] = {QStringLiteral("Address  Controller   \"S1\"  :"),
                              QStringLiteral("Address   Controller  \"S2\"  :"),
                              QStringLiteral("Address  Controller   \"S3\"  :"),
                              QStringLiteral("Address Controller    \"S4\"  :")};
    const QString showCaptions[] = {QStringLiteral("Show &First "), QStringLiteral("Show &Second"),
                                    QStringLiteral("Show &Third"), QStringLiteral("Show &Fourth")};
    for (int k = 0; k < kControllersPerBoard; ++k) {
        rows->addWidget(new QLabel(labels[k], AddrT), k, 0);
        s[k] = new QLabel(AddrT);
        s[k]->setObjectName(QStringLiteral("s%1").arg(k + 1));
        s[k]->setFixedSize(kSwitchPictureWidth, kSwitchPictureHeight);
        s[k]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        rows->addWidget(s[k], k, 1);
        Set[k] = new QPushButton(showCaptions[k], AddrT);
        Set[k]->setObjectName(QStringLiteral("Set%1").arg(k + 1));
        Set[k]->setEnabled(false);
        rows->addWidget(Set[k], 4 + k / 2, k % 2);
    }
    layout->addWidget(AddrT);

    auto *verify = new QGroupBox(QStringLiteral("Verify Addreess    "), this);
    verify->setObjectName(QStringLiteral("GroupBox2"));
    auto *verifyRows = new QGridLayout(verify);
    VerifyAddr = new QPushButton(QStringLiteral("&Verify Address"), verify);
    VerifyAddr->setObjectName(QStringLiteral("VerifyAddr"));
    St1 = new QLabel(verify);
    St1->setObjectName(QStringLiteral("St1"));
    St1->setMinimumWidth(30);
    verifyRows->addWidget(VerifyAddr, 0, 0);
    auto *station = new QHBoxLayout;
    station->addWidget(new QLabel(QStringLiteral("Station :"), verify));
    station->addWidget(St1);
    station->addStretch();
    verifyRows->addLayout(station, 0, 1);
    verifyRows->addWidget(new QLabel(QStringLiteral("KX4417  Controllers:"), verify), 1, 0, 1, 2);
    const char *resultNames[] = {"SU13", "SU14", "SU16", "SU17"};
    for (int k = 0; k < kControllersPerBoard; ++k) {
        verifyRows->addWidget(new QLabel(QStringLiteral("Controller %1:").arg(k + 1), verify),
                              2 + k, 0);
        Results[k] = resultText(verify, QLatin1String(resultNames[k]));
        verifyRows->addWidget(Results[k], 2 + k, 1);
    }
    layout->addWidget(verify);

    BitBtn1 = new QPushButton(QStringLiteral("&Close"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    layout->addWidget(BitBtn1, 0, Qt::AlignRight);

    Station1->setItemIndex(program().StationCount);
    enableShowButtons();

    connect(Station1, &RadioGroup::clicked, this, &TForm3::Station1Click);
    connect(Set[0], &QPushButton::clicked, this, &TForm3::Set1Click);
    connect(Set[1], &QPushButton::clicked, this, &TForm3::Set2Click);
    connect(Set[2], &QPushButton::clicked, this, &TForm3::Set3Click);
    connect(Set[3], &QPushButton::clicked, this, &TForm3::Set4Click);
    connect(VerifyAddr, &QPushButton::clicked, this, &TForm3::VerifyAddrClick);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::close);
    fixSizeWithCaption(this);
}

void TForm3::Station1Click(int index) {
    program().StationCount = index;
    enableShowButtons();
}

void TForm3::enableShowButtons() {
    for (int k = 0; k < kControllersPerBoard; ++k) Set[k]->setEnabled(k <= program().StationCount);
}

void TForm3::showBoard(int board) {
    for (int k = 0; k < kControllersPerBoard; ++k)
        s[k]->setPixmap(switchPicture(kControllersPerBoard * (board - 1) + k));
}

void TForm3::Set1Click() { showBoard(1); }

void TForm3::Set2Click() { showBoard(2); }

void TForm3::Set3Click() { showBoard(3); }

void TForm3::Set4Click() { showBoard(4); }

void TForm3::VerifyAddrClick() {
    const int boards = Station1->itemIndex() + 1;
    for (int board = 1; board <= boards; ++board) verifyBoard(board);
}

void TForm3::verifyBoard(int board) {
    St1->setText(QString::number(board));
    for (QLabel *result : Results) result->clear();
    BusyCursor busy;
    for (int j = 0; j < kControllersPerBoard; ++j) {
        const int address = kControllersPerBoard * (board - 1) + j;
        const QByteArray text = QByteArray::number(address);
        if (waitOnLine([&text] { return CheckControllerAddress(text.constData()); }).result == -1) {
            Results[j]->setText(QStringLiteral("NOT FOUND"));
        } else {
            Results[j]->setText(QStringLiteral("FOUND"));
            program().AddrFound[address] = address;
        }
    }
    messageBoxes().beep(1000, 50);
    plainBox(QStringLiteral(" Verifaying the Address from the Corvex-B board"),
             QStringLiteral(" Done Station :%1").arg(board));
}

}  // namespace demo
