// The status window: the status-register flags of every usable motor.
#pragma once

#include <QDialog>

namespace demo {

class TForm6 : public QDialog {
    Q_OBJECT

public:
    explicit TForm6(QWidget *parent = nullptr);
};

}  // namespace demo
