#include "address.h"

namespace demo {

TForm3::TForm3(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral(" Setup Network Address"));
}

}  // namespace demo
