#include "adc_c.h"

namespace demo {

TADC::TADC(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ADC"));
    setWindowTitle(QStringLiteral(" Setup Analog to Digital Converter Channels"));
}

}  // namespace demo
