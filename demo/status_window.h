// SPDX-License-Identifier: MIT
// The status window: the ten flags of the status register of every usable motor, as a
// table of " Y " and " N " cells, read when asked; the running bit and the two limit
// switches also show as lamps.
#pragma once

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace demo {

class TForm6 : public QDialog {
    Q_OBJECT

public:
    explicit TForm6(QWidget *parent = nullptr);

    // The text of the table cell at `column` and `row`, counted like the table itself:
    // row 0 holds the flag labels and column 0 the motor labels.
    QString Cells(int column, int row) const;
    int RowCount() const;

    QTableWidget *Sts1;
    QPushButton *StatusB;
    QPushButton *MDClose1;

private slots:
    void StatusBClick();
    void MDClose1Click();

private:
    // Reads motor m's status register into its row; false (after its error box) when the
    // read failed.
    bool showStatus(int motor);
    bool motorUsable(int motor) const;
    void setCell(int column, int row, const QString &text);
};

}  // namespace demo
