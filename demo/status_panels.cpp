// SPDX-License-Identifier: MIT
#include "status_panels.h"

#include <QHBoxLayout>
#include <QLabel>

namespace demo {

StatusPanels::StatusPanels(int panels, QWidget *parent) : QFrame(parent) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int i = 0; i < panels; ++i) {
        auto *panel = new QLabel(this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setMinimumHeight(20);
        panel->setContentsMargins(4, 0, 4, 0);
        panels_.push_back(panel);
        layout->addWidget(panel, i + 1 == panels ? 1 : 0);
    }
}

QString StatusPanels::text(int index) const { return panels_.at(index)->text(); }

void StatusPanels::setText(int index, const QString &text) { panels_.at(index)->setText(text); }

void StatusPanels::setPanelWidth(int index, int pixels) {
    panels_.at(index)->setFixedWidth(pixels);
}

}  // namespace demo
