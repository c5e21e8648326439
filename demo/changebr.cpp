#include "changebr.h"

namespace demo {

TForm4::TForm4(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Change  Baud Rate Host and all Stations"));
}

}  // namespace demo
