// The ADC window: one analog channel, or all eleven, of a board's master controller.
#pragma once

#include <QDialog>

namespace demo {

class TADC : public QDialog {
    Q_OBJECT

public:
    explicit TADC(QWidget *parent = nullptr);
};

}  // namespace demo
