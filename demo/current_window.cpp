// SPDX-License-Identifier: MIT
#include "current_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CorvexLink.h"
#include "field_updown.h"
#include "message_box.h"
#include "settings.h"
#include "widget_builders.h"

namespace demo {
namespace {

// "Motor  1:" .. "Motor  8:", "Motor   9:", "Motor 10:" .. "Motor 16:".
QString rowCaption(int row) {
    if (row <= 8) return QStringLiteral("Motor  %1:").arg(row);
    if (row == 9) return QStringLiteral("Motor   9:");
    return QStringLiteral("Motor %1:").arg(row);
}

constexpr int kAlwaysShownRows = 4;

}  // namespace

TCurrentWin::TCurrentWin(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CurrentWin"));
    setWindowTitle(QStringLiteral("  Setting  Motor Winding Current "));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    SCWinding = named(new QGroupBox(QStringLiteral(" Winding Current Represented  in mA  "), this),
                      QStringLiteral("SCWinding"));
    auto *rows = new QGridLayout(SCWinding);
    rows->setHorizontalSpacing(6);
    rows->setColumnMinimumWidth(4, 24);
    const auto &requested = program().RequestedCurrent;
    const auto &found = program().AddrFound;
    for (int k = 1; k <= kAddresses; ++k) {
        const int i = k - 1;
        StaticText[i] =
            named(new QLabel(rowCaption(k), SCWinding), QStringLiteral("StaticText%1").arg(k));
        Curr[i] = named(new QLineEdit(SCWinding), QStringLiteral("Curr%1").arg(k));
        Curr[i]->setFixedWidth(64);
        UpDowns[i] = named(new UpDown(SCWinding), QStringLiteral("UpDown%1").arg(k));
        UpDowns[i]->setRange(50, 2000);
        UpDowns[i]->setIncrement(20);
        UpDowns[i]->setAssociate(Curr[i]);
        UpDowns[i]->setPosition(requested[i]);
        MilliAmps[i] = named(new QLabel(QStringLiteral("(mA)"), SCWinding),
                             QStringLiteral("StaticText%1").arg(20 + k));

        // Two blocks of eight rows side by side.
        const int row = i % 8, column = (i / 8) * 5;
        rows->addWidget(StaticText[i], row, column);
        rows->addWidget(Curr[i], row, column + 1);
        rows->addWidget(UpDowns[i], row, column + 2);
        rows->addWidget(MilliAmps[i], row, column + 3);

        // The first four rows always show; a later row shows once its address was found,
        // its "(mA)" label staying hidden.
        const bool shown = k <= kAlwaysShownRows || found[i] == i;
        for (QWidget *control :
             {static_cast<QWidget *>(StaticText[i]), static_cast<QWidget *>(Curr[i]),
              static_cast<QWidget *>(UpDowns[i])})
            control->setVisible(shown);
        MilliAmps[i]->setVisible(k <= kAlwaysShownRows);
        UpDowns[i]->setEnabled(shown);
    }
    Curr[0]->setMaxLength(5);

    StaticText17 = named(new QLabel(QStringLiteral("Only the setup Address"), this),
                         QStringLiteral("StaticText17"));
    StaticText18 =
        named(new QLabel(QStringLiteral("will change the"), this), QStringLiteral("StaticText18"));
    StaticText20 = named(new QLabel(QStringLiteral("motor winding current."), this),
                         QStringLiteral("StaticText20"));
    SetCurr1 = named(new QPushButton(QStringLiteral("&Set Motors Current"), this),
                     QStringLiteral("SetCurr1"));
    GetCurr1 = named(new QPushButton(QStringLiteral("&Get Motors Current"), this),
                     QStringLiteral("GetCurr1"));
    CloseCurr = named(new QPushButton(QStringLiteral("&Close"), this), QStringLiteral("CloseCurr"));

    auto *side = new QVBoxLayout;
    side->addWidget(StaticText17);
    side->addWidget(StaticText18);
    side->addWidget(StaticText20);
    side->addSpacing(12);
    side->addWidget(SetCurr1);
    side->addWidget(GetCurr1);
    side->addStretch(1);
    side->addWidget(CloseCurr);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(12);
    layout->addWidget(SCWinding, 0, Qt::AlignTop);
    layout->addLayout(side);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(SetCurr1, &QPushButton::clicked, this, &TCurrentWin::SetCurr1Click);
    connect(GetCurr1, &QPushButton::clicked, this, &TCurrentWin::GetCurr1Click);
    connect(CloseCurr, &QPushButton::clicked, this, &TCurrentWin::CloseCurrClick);
}

void TCurrentWin::SetCurr1Click() {
    auto &requested = program().RequestedCurrent;
    for (int i = 0; i < kAddresses; ++i) requested[i] = leadingNumber(Curr[i]->text());
    saveSettings();
    const auto &found = program().AddrFound;
    BusyCursor busy;
    for (int i = 0; i < kAddresses; ++i) {
        if (found[i] == -1) continue;
        if (MotorSetCurrent(QByteArray::number(i).constData(), requested[i]) == -1)
            libraryErrorBox(QStringLiteral(" ERROR in Set Current Motor Number :%1").arg(i));
    }
}

void TCurrentWin::GetCurr1Click() {
    const auto &requested = program().RequestedCurrent;
    for (int i = 0; i < kAddresses; ++i) Curr[i]->setText(QString::number(requested[i]));
}

void TCurrentWin::CloseCurrClick() { close(); }

}  // namespace demo
