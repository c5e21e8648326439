#include "current.h"

namespace demo {

TCurrentWin::TCurrentWin(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CurrentWin"));
    setWindowTitle(QStringLiteral("  Setting  Motor Winding Current "));
}

}  // namespace demo
