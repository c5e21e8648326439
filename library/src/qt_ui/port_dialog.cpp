// SPDX-License-Identifier: MIT
// The port dialog's window: its layout, and the handlers that write each choice to the
// library's selection at once.
#include "port_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

namespace corvex::qt_ui {
namespace {

QFont pixelFont(const char *family, int pixels, bool bold) {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// A serial plug: the window icon and, drawn in two colours, the glyph of "&Open Port".
QPixmap plugPicture(int size, QColor body, QColor pins) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    painter.setPen(QPen(body.darker(160), u));
    painter.setBrush(body);
    QPolygonF shell;
    shell << QPointF(1 * u, 4 * u) << QPointF(15 * u, 4 * u) << QPointF(13 * u, 12 * u)
          << QPointF(3 * u, 12 * u);
    painter.drawPolygon(shell);
    painter.setPen(Qt::NoPen);
    painter.setBrush(pins);
    for (int i = 0; i < 5; ++i)
        painter.drawEllipse(QPointF((3.4 + 2.3 * i) * u, 6.6 * u), u * 0.8, u * 0.8);
    for (int i = 0; i < 4; ++i)
        painter.drawEllipse(QPointF((4.6 + 2.3 * i) * u, 9.4 * u), u * 0.8, u * 0.8);
    return picture;
}

QIcon openPortGlyph() {
    QIcon glyph;
    glyph.addPixmap(plugPicture(24, QColor(0, 128, 128), Qt::white), QIcon::Normal);
    glyph.addPixmap(plugPicture(24, QColor(160, 160, 160), QColor(220, 220, 220)), QIcon::Disabled);
    return glyph;
}

}  // namespace

TForm2::TForm2(std::int32_t &selectedPort, std::int32_t &selectedBaudRate, QWidget *parent)
    : QDialog(parent), selectedPort_(selectedPort), selectedBaudRate_(selectedBaudRate) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("             Serial Port Configuration"));
    setWindowIcon(QIcon(plugPicture(32, QColor(0, 128, 128), Qt::white)));
    setFont(pixelFont("MS Sans Serif", 11, false));
    setFixedSize(327, 197);
    move(504, 135);

    RadioGroup1 = new QGroupBox(QStringLiteral("BaudRate"), this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(24, 8, 105, 145);
    RadioGroup1->setFont(pixelFont("Arial", 13, true));
    RadioGroup1->setStyleSheet(QStringLiteral("QGroupBox#RadioGroup1 { color: teal; }"));
    RadioGroup1Items = new QButtonGroup(this);
    for (int i = 0; i < 5; ++i) {
        auto *item = new QRadioButton(QString::number(kRates[i]), RadioGroup1);
        item->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
        item->setFont(font());
        item->setStyleSheet(QStringLiteral("color: black;"));
        item->setGeometry(10, 22 + 23 * i, 90, 20);
        RadioGroup1Items->addButton(item, i);
    }

    StaticText1 = new QLabel(QStringLiteral("Serial Port :"), this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->setGeometry(152, 16, 105, 24);
    StaticText1->setFont(pixelFont("MS Sans Serif", 16, true));
    StaticText1->setStyleSheet(QStringLiteral("color: aqua;"));

    Port1 = new QComboBox(this);
    Port1->setObjectName(QStringLiteral("Port1"));
    Port1->setEditable(true);
    Port1->setInsertPolicy(QComboBox::NoInsert);
    Port1->addItems(
        {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    Port1->setGeometry(176, 40, 105, 26);
    Port1->setFont(pixelFont("Arial", 15, true));
    Port1->setStyleSheet(
        QStringLiteral("QComboBox, QComboBox QLineEdit { color: aqua; background: #808080; }"));

    Conf1 = new QPushButton(openPortGlyph(), QStringLiteral("&Open Port"), this);
    Conf1->setObjectName(QStringLiteral("Conf1"));
    Conf1->setGeometry(160, 88, 137, 41);
    Conf1->setFont(pixelFont("Arial", 15, true));
    Conf1->setIconSize(QSize(24, 24));
    Conf1->setDefault(true);

    setTabOrder(RadioGroup1Items->button(0), Port1);
    setTabOrder(Port1, Conf1);

    // The selection is shown before the handlers are connected, so showing a port that is
    // not among the items does not count as a change.
    showSelection();
    connect(RadioGroup1Items, &QButtonGroup::idClicked, this, &TForm2::RadioGroup1Click);
    connect(Port1, &QComboBox::currentIndexChanged, this, &TForm2::Port1Change);
    connect(Port1, &QComboBox::editTextChanged, this, &TForm2::Port1Change);
    connect(Conf1, &QPushButton::clicked, this, &TForm2::Conf1Click);
}

void TForm2::showSelection() {
    RadioGroup1Items->setExclusive(false);
    for (QAbstractButton *item : RadioGroup1Items->buttons()) item->setChecked(false);
    RadioGroup1Items->setExclusive(true);
    for (int i = 0; i < 5; ++i)
        if (kRates[i] == selectedBaudRate_) RadioGroup1Items->button(i)->setChecked(true);

    Port1->setCurrentIndex(-1);
    Port1->setEditText(QStringLiteral("Comm Port"));
    if (selectedPort_ >= 1 && selectedPort_ <= Port1->count())
        Port1->setCurrentIndex(selectedPort_ - 1);
}

void TForm2::RadioGroup1Click(int index) {
    if (index >= 0 && index < 5) selectedBaudRate_ = kRates[index];
}

// The port is the position of the item the box shows; a typed text that names no item
// gives port 0, which then fails to open.
void TForm2::Port1Change() {
    selectedPort_ = Port1->findText(Port1->currentText(), Qt::MatchExactly) + 1;
}

void TForm2::Conf1Click() { close(); }

}  // namespace corvex::qt_ui
