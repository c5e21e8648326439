#include "mtr.h"

#include <QTimer>

namespace demo {

TMtr::TMtr(int motor, QWidget *parent) : QDialog(parent), motor_(motor) {
    setObjectName(QStringLiteral("Mtr%1").arg(motor));
    setWindowTitle(QStringLiteral("\"%1\"  Desktop Motor Controller  ").arg(motor));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
}

}  // namespace demo
