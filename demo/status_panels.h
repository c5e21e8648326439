// SPDX-License-Identifier: MIT
// A status bar of side-by-side sunken text panels (the motor panels of the main window,
// the segment and FIFO panels of a motor window).
#pragma once

#include <QFrame>
#include <vector>

class QLabel;

namespace demo {

class StatusPanels : public QFrame {
    Q_OBJECT

public:
    explicit StatusPanels(int panels, QWidget *parent = nullptr);

    int count() const { return static_cast<int>(panels_.size()); }
    QLabel *panel(int index) const { return panels_.at(index); }
    QString text(int index) const;
    void setText(int index, const QString &text);
    // Fixes a panel's width in pixels; the last panel takes the remaining room.
    void setPanelWidth(int index, int pixels);

private:
    std::vector<QLabel *> panels_;
};

}  // namespace demo
