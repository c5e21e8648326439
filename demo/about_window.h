// SPDX-License-Identifier: MIT
// The about window: the maker's contact data.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace demo {

class TMBAbout : public QDialog {
    Q_OBJECT

public:
    explicit TMBAbout(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *ProgramIcon;
    QLabel *Address;
    QLabel *WebSite;
    QLabel *Support;
    QLabel *Sales;
    QPushButton *BitBtn1;

private slots:
    void BitBtn1Click();
};

}  // namespace demo
