// The baud-rate dialog: moves the host and every station to another line rate.
#pragma once

#include <QDialog>

namespace demo {

class TForm4 : public QDialog {
    Q_OBJECT

public:
    explicit TForm4(QWidget *parent = nullptr);
};

}  // namespace demo
