#include "status.h"

namespace demo {

TForm6::TForm6(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral(" MOTOR FLAGS STATUS"));
}

}  // namespace demo
