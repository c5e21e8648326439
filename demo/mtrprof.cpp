#include "mtrprof.h"

namespace demo {

TProfile::TProfile(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Profile"));
    setWindowTitle(QStringLiteral(" Motor Profile"));
}

}  // namespace demo
