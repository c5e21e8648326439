// The address dialog: how to set the address switches of each board, and which addresses answer.
#pragma once

#include <QDialog>

namespace demo {

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget *parent = nullptr);
};

}  // namespace demo
