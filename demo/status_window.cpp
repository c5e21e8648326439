// SPDX-License-Identifier: MIT
#include "status_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "CorvexLink.h"
#include "main_window.h"
#include "message_box.h"
#include "program.h"
#include "status_lamp.h"

namespace demo {
namespace {

constexpr int kFlagCount = CORVEXLINK_STATUS_BIT_COUNT;
constexpr int kShownMotorRows = 4;  // the table shows four motors at a time
constexpr int kRowHeight = 24;
constexpr int kColumnWidth = 62;
constexpr int kLampSize = 12;

// Motors 5 to 8 have rows only when all four of their addresses were found.
bool secondBoardFound() {
    const auto &found = program().AddrFound;
    for (int a = 4; a < 8; ++a)
        if (found[a] != a) return false;
    return true;
}

QTableWidgetItem *blueItem(const QString &text) {
    auto *item = new QTableWidgetItem(text);
    item->setForeground(Qt::blue);
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

}  // namespace

TForm6::TForm6(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral(" MOTOR FLAGS STATUS"));

    // Row 0 and column 0 of the table are its headers: the flag labels and the motors.
    const int motors = secondBoardFound() ? kMotors : 4;
    Sts1 = new QTableWidget(motors, kFlagCount, this);
    Sts1->setObjectName(QStringLiteral("Sts1"));
    Sts1->setSelectionMode(QAbstractItemView::NoSelection);
    Sts1->setFocusPolicy(Qt::NoFocus);
    Sts1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Sts1->setVerticalScrollBarPolicy(motors > kShownMotorRows ? Qt::ScrollBarAlwaysOn
                                                              : Qt::ScrollBarAlwaysOff);
    for (int m = 1; m <= motors; ++m)
        Sts1->setVerticalHeaderItem(m - 1, blueItem(QStringLiteral("MOTOR%1").arg(m)));
    for (int c = 0; c < kFlagCount; ++c)
        Sts1->setHorizontalHeaderItem(c, blueItem(QLatin1String(CorvexLinkStatusBitName(c))));
    for (int r = 0; r < motors; ++r)
        for (int c = 0; c < kFlagCount; ++c) Sts1->setItem(r, c, blueItem(QString()));
    Sts1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Sts1->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    Sts1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Sts1->verticalHeader()->setDefaultSectionSize(kRowHeight);
    Sts1->verticalHeader()->setFixedWidth(76);
    Sts1->horizontalHeader()->setFixedHeight(kRowHeight + 2);
    const int scrollBar =
        motors > kShownMotorRows ? Sts1->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    Sts1->setFixedSize(2 * Sts1->frameWidth() + 76 + kFlagCount * kColumnWidth + scrollBar,
                       2 * Sts1->frameWidth() + kRowHeight + 2 + kShownMotorRows * kRowHeight);

    for (int m = 1; m <= 4; ++m)
        if (!motorUsable(m))
            for (int c = 1; c <= kFlagCount; ++c) setCell(c, m, QStringLiteral("NOTAVL"));

    StatusB = new QPushButton(QStringLiteral("&Get Status Register"), this);
    StatusB->setObjectName(QStringLiteral("StatusB"));
    MDClose1 = new QPushButton(QStringLiteral("&Close "), this);
    MDClose1->setObjectName(QStringLiteral("MDClose1"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(StatusB);
    buttons->addWidget(MDClose1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(Sts1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(StatusB, &QPushButton::clicked, this, &TForm6::StatusBClick);
    connect(MDClose1, &QPushButton::clicked, this, &TForm6::MDClose1Click);
}

QString TForm6::Cells(int column, int row) const {
    if (column == 0 && row == 0) return QString();
    const QTableWidgetItem *item = row == 0      ? Sts1->horizontalHeaderItem(column - 1)
                                   : column == 0 ? Sts1->verticalHeaderItem(row - 1)
                                                 : Sts1->item(row - 1, column - 1);
    return item ? item->text() : QString();
}

int TForm6::RowCount() const { return Sts1->rowCount() + 1; }

void TForm6::setCell(int column, int row, const QString &text) {
    Sts1->item(row - 1, column - 1)->setText(text);
}

bool TForm6::motorUsable(int motor) const {
    const TForm1 *main = program().windows.Form1;
    return main && main->MBMotor[motor - 1]->isEnabled();
}

bool TForm6::showStatus(int motor) {
    std::int32_t status = 0;
    if (MotorGetStatusRegister(QByteArray::number(motor - 1).constData(), &status) != 1) {
        libraryErrorBox(QStringLiteral("MOTOR %1").arg(motor));
        return false;
    }
    for (int c = 1; c <= kFlagCount; ++c) {
        const bool set = (status >> (c - 1)) & 1;
        setCell(c, motor, set ? QStringLiteral(" Y ") : QStringLiteral(" N "));
        // The running bit and the limit switches also show as lamps beside their letter.
        const QColor lamp = statusLampColour(c - 1);
        if (lamp.isValid())
            Sts1->item(motor - 1, c - 1)
                ->setIcon(
                    QIcon(lampPicture(set ? LampState::On : LampState::Off, lamp, kLampSize)));
    }
    return true;
}

void TForm6::StatusBClick() {
    const int last = Sts1->rowCount();
    BusyCursor busy;
    for (int m = 1; m <= last; ++m)
        if (motorUsable(m) && !showStatus(m)) return;
}

void TForm6::MDClose1Click() { close(); }

}  // namespace demo
