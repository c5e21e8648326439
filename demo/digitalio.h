// The digital I/O window: direction, writing and reading of a board's user I/O ports.
#pragma once

#include <QDialog>

namespace demo {

class TForm5 : public QDialog {
    Q_OBJECT

public:
    explicit TForm5(QWidget *parent = nullptr);
};

}  // namespace demo
