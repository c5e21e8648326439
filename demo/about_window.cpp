// SPDX-License-Identifier: MIT
#include "about_window.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "pictures.h"

namespace demo {
namespace {

QLabel *line(QWidget *parent, const char *name, const QString &text) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

TMBAbout::TMBAbout(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MBAbout"));
    setWindowTitle(QStringLiteral("  About   "));
    // A title bar with no close box: the window closes through its button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(programIcon().pixmap(64, 64));
    ProgramIcon->setAlignment(Qt::AlignTop);

    auto *maker = new QLabel(QStringLiteral("Zelmar Electronics Inc."), Panel1);
    QFont bold = maker->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    maker->setFont(bold);
    Address = line(Panel1, "Address",
                   QStringLiteral("48 Foundry Lane, Unit 7, Alderwick, ON  K0L 9Z9   "
                                  "Tel: (555) 010-4417   Fax: (555) 010-4418"));
    WebSite = line(Panel1, "WebSite",
                   QStringLiteral("Visit our Web Site : www.zelmar-electronics.example"));
    Support =
        line(Panel1, "Support", QStringLiteral("Support : support@zelmar-electronics.example"));
    Sales = line(Panel1, "Sales", QStringLiteral("Sales : sales@zelmar-electronics.example"));

    auto *panel = new QGridLayout(Panel1);
    panel->setContentsMargins(14, 12, 14, 12);
    panel->setHorizontalSpacing(16);
    panel->addWidget(ProgramIcon, 0, 0, 5, 1);
    panel->addWidget(maker, 0, 1);
    panel->addWidget(Address, 1, 1);
    panel->addWidget(WebSite, 2, 1);
    panel->addWidget(Support, 3, 1);
    panel->addWidget(Sales, 4, 1);

    BitBtn1 = new QPushButton(QStringLiteral("&Close"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(Panel1);
    layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(BitBtn1, &QPushButton::clicked, this, &TMBAbout::BitBtn1Click);
}

void TMBAbout::BitBtn1Click() { close(); }

}  // namespace demo
