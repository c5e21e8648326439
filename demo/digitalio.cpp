#include "digitalio.h"

namespace demo {

TForm5::TForm5(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("     Setup  Digital  IO"));
}

}  // namespace demo
