// The about window: the maker's contact data.
#pragma once

#include <QDialog>

namespace demo {

class TMBAbout : public QDialog {
    Q_OBJECT

public:
    explicit TMBAbout(QWidget *parent = nullptr);
};

}  // namespace demo
