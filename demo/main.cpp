// SPDX-License-Identifier: MIT
// DemoCorvexLink: finds, initialises and drives the stepper controllers on the serial line
// through the CorvexLink library.
#include <cstdio>
#include <exception>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMessageBox>
#include <QStringList>

#include "demo_version.h"
#include "main_window.h"
#include "program.h"

namespace {

// The options the program understands. Qt's own options (-platform, -style, ...) are
// taken out of the arguments by QApplication before the second, strict pass sees them.
struct Options {
    QCommandLineParser parser;
    QCommandLineOption help;
    QCommandLineOption version;

    Options()
        : help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
               QStringLiteral("Show this help and leave.")),
          version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                  QStringLiteral("Show the program's version and leave.")) {
        parser.setApplicationDescription(QStringLiteral(
            "Finds, initialises and drives the KX4417 stepper controllers of Corvex-B boards\n"
            "on a serial line through the CorvexLink library. The port is chosen in the\n"
            "program's port dialog. Port COMn is the device named by the environment\n"
            "variable CORVEXLINK_COMn, else by the COMn line of ~/.config/corvexlink/ports.conf\n"
            "or /etc/corvexlink/ports.conf, else /dev/ttyS(n-1)."));
        parser.addOption(help);
        parser.addOption(version);
    }
};

void print(const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

// Answers --help and --version with no window system: a man page is made from the help
// text on machines without a display. Returns true when the program should leave.
bool answeredWithoutWindows(int argc, char *argv[], Options &options) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    // Unknown options are left to the strict pass: they may be Qt's own.
    options.parser.parse(arguments);
    if (options.parser.isSet(options.help)) {
        QCoreApplication textOnly(argc, argv);  // the help text names the program from it
        print(options.parser.helpText());
        return true;
    }
    if (options.parser.isSet(options.version)) {
        print(QStringLiteral("DemoCorvexLink " DEMO_VERSION "\n"));
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char *argv[]) {
    Options options;
    if (answeredWithoutWindows(argc, argv, options)) return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("CorvexLink"));
    QApplication::setApplicationVersion(QStringLiteral(DEMO_VERSION));
    // What is left after Qt took its own options must be ours: anything else is an error
    // on standard error and exit code 1, before any window opens.
    QString error;
    if (!options.parser.parse(QApplication::arguments())) {
        error = options.parser.errorText();
    } else if (!options.parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument '%1'.")
                    .arg(options.parser.positionalArguments().first());
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "DemoCorvexLink: %s\nSee DemoCorvexLink --help.\n",
                     error.toLocal8Bit().constData());
        return 1;
    }

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
