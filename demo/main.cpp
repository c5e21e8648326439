// SPDX-License-Identifier: MIT
// DemoCorvexLink: finds, initialises and drives the stepper controllers on the serial line
// through the CorvexLink library.
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "main_window.h"
#include "program.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("CorvexLink"));
    QApplication::setApplicationVersion(QStringLiteral("2.1.2.1"));
    int result = 0;
    try {
        demo::createStartupWindows();
        demo::program().windows.Form1->show();
        result = QApplication::exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(nullptr, QStringLiteral("CorvexLink"),
                              QString::fromLocal8Bit(error.what()));
        result = 0;
    }
    demo::resetProgram();  // every window goes before the application object
    return result;
}
