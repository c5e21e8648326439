// The motion profile editor: a speed profile drawn as segments, handed to a motor window.
#pragma once

#include <QDialog>

namespace demo {

class TProfile : public QDialog {
    Q_OBJECT

public:
    explicit TProfile(QWidget *parent = nullptr);
};

}  // namespace demo
