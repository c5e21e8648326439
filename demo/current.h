// The winding current window: the current of every found motor, sent through the SPI bus.
#pragma once

#include <QDialog>

namespace demo {

class TCurrentWin : public QDialog {
    Q_OBJECT

public:
    explicit TCurrentWin(QWidget *parent = nullptr);
};

}  // namespace demo
