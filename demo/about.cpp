#include "about.h"

namespace demo {

TMBAbout::TMBAbout(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MBAbout"));
    setWindowTitle(QStringLiteral("  About   "));
}

}  // namespace demo
