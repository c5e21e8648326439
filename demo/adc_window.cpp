// SPDX-License-Identifier: MIT
#include "adc_window.h"

#include <array>

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "CorvexLink.h"
#include "message_box.h"
#include "program.h"
#include "radio_group.h"

namespace demo {
namespace {

constexpr std::array<int, 3> kResolutions{8, 10, 12};
constexpr int kFullScaleItem = 13;
constexpr int kTenBitsItem = 1;
const QString kErrorCaption = QStringLiteral("Error Message Motor 1");

QPlainTextEdit *memo(QWidget *parent, const char *name, const QString &text) {
    auto *field = new QPlainTextEdit(text, parent);
    field->setObjectName(QLatin1String(name));
    field->setFixedHeight(field->fontMetrics().lineSpacing() * 2 + 12);
    return field;
}

}  // namespace

TADC::TADC(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ADC"));
    setWindowTitle(QStringLiteral(" Setup Analog to Digital Converter Channels"));

    QStringList channels;
    for (int c = 0; c <= 10; ++c) channels << QString::number(c);
    channels << QStringLiteral("HALF SCALE") << QStringLiteral("NULL")
             << QStringLiteral("FULL SCALE");
    ChannelsAD1 = new RadioGroup(QStringLiteral("Analog Channels Selection "), channels, 3, this);
    ChannelsAD1->setObjectName(QStringLiteral("ChannelsAD1"));
    ChannelsAD1->setItemIndex(kFullScaleItem);
    ADReso1 =
        new RadioGroup(QStringLiteral("ADC Resolution   "),
                       {QStringLiteral("8"), QStringLiteral("10"), QStringLiteral("12")}, 3, this);
    ADReso1->setObjectName(QStringLiteral("ADReso1"));
    ADReso1->setItemIndex(kTenBitsItem);
    MCAdd1 = new RadioGroup(
        QStringLiteral("Master Controller ADDRESS   "),
        {QStringLiteral("0"), QStringLiteral("4"), QStringLiteral("8"), QStringLiteral("12")}, 4,
        this);
    MCAdd1->setObjectName(QStringLiteral("MCAdd1"));
    MCAdd1->setItemIndex(0);

    Label1 = new QLabel(QStringLiteral("Value Returned :"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Memo1 = memo(this, "Memo1", QStringLiteral("0"));
    Memo1->setReadOnly(true);
    Label2 = new QLabel(QStringLiteral("All Channels Value:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Memo2 = memo(this, "Memo2", QString());

    READADC1 = new QPushButton(QStringLiteral("&Read Selected Channel"), this);
    READADC1->setObjectName(QStringLiteral("READADC1"));
    RaddAll = new QPushButton(QStringLiteral("Radd &All Channels"), this);
    RaddAll->setObjectName(QStringLiteral("RaddAll"));
    BitBtn2 = new QPushButton(QStringLiteral("&CLOSE"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(ChannelsAD1, 0, 0, 3, 1);
    layout->addWidget(ADReso1, 0, 1);
    layout->addWidget(MCAdd1, 1, 1);
    layout->setRowStretch(2, 1);
    layout->addWidget(Label1, 3, 0);
    layout->addWidget(Memo1, 4, 0);
    layout->addWidget(READADC1, 4, 1, Qt::AlignTop);
    layout->addWidget(Label2, 5, 0);
    layout->addWidget(Memo2, 6, 0);
    layout->addWidget(RaddAll, 6, 1, Qt::AlignTop);
    layout->addWidget(BitBtn2, 7, 1);
    layout->setColumnMinimumWidth(0, 330);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ChannelsAD1, &RadioGroup::clicked, this, &TADC::ChannelsAD1Click);
    connect(ADReso1, &RadioGroup::clicked, this, &TADC::ADReso1Click);
    connect(MCAdd1, &RadioGroup::clicked, this, &TADC::MCAdd1Click);
    connect(READADC1, &QPushButton::clicked, this, &TADC::READADC1Click);
    connect(RaddAll, &QPushButton::clicked, this, &TADC::RaddAllClick);
    connect(BitBtn2, &QPushButton::clicked, this, &TADC::BitBtn2Click);
}

void TADC::ChannelsAD1Click(int item) { program().AdcChannel = item; }

void TADC::ADReso1Click(int item) { program().AdcResolution = kResolutions[item]; }

void TADC::MCAdd1Click(int item) { MasterAddress = MCAdd1->item(item)->text(); }

void TADC::READADC1Click() {
    std::int32_t reading = 0;
    if (GetADCchannel(MasterAddress.toLatin1().constData(), program().AdcResolution,
                      program().AdcChannel, &reading) == -1) {
        libraryErrorBox(kErrorCaption);
        return;
    }
    Memo1->clear();
    Memo1->setPlainText(QString::number(reading));
}

void TADC::RaddAllClick() {
    std::array<std::int32_t, CORVEXLINK_ADC_CHANNELS> readings{};
    if (ReadAllChannelsADC(MasterAddress.toLatin1().constData(), program().AdcResolution,
                           readings.data()) == -1) {
        libraryErrorBox(kErrorCaption);
        return;
    }
    Memo1->clear();
    QString all;
    for (std::int32_t reading : readings) all += QString::number(reading) + QLatin1Char(',');
    Memo2->setPlainText(all);
}

void TADC::BitBtn2Click() { close(); }

}  // namespace demo
