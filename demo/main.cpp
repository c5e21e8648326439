// SPDX-License-Identifier: MIT
// DemoCorvexLink: finds, initialises and drives the stepper controllers on the serial line
// through the CorvexLink library.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <vector>

#include <QApplication>
#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMessageBox>
#include <QStringList>

#include "demo_version.h"
#include "main_window.h"
#include "program.h"
#include "settings.h"

namespace {

// The options the program understands, checked before the window system starts; Qt's own
// options (-platform, -style, ...) are left to QApplication.
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

// Qt's own options, which QApplication takes out of the arguments: those followed by a
// value ("-style fusion" or "-style=fusion"), then those that stand alone. Each may also be
// written with two dashes.
const QString kQtOptionsWithValue = QStringLiteral(
    " style stylesheet platform platformpluginpath platformtheme plugin qwindowgeometry geometry"
    " qwindowicon icon qwindowtitle title session display name qmljsdebugger dialogs fontengine ");
const QString kQtFlags = QStringLiteral(" reverse widgetcount sync nograb dograb ");

bool listed(const QString &names, const QString &name) {
    return !name.isEmpty() && names.contains(QLatin1Char(' ') + name + QLatin1Char(' '));
}

// The arguments without Qt's own options, so that the program's options can be checked
// before the window system is started.
QStringList withoutQtOptions(const QStringList &arguments) {
    QStringList ours;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (i == 0 || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("--")) {
            ours << argument;
            continue;
        }
        QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (equals >= 0) name.truncate(equals);
        if (listed(kQtOptionsWithValue, name)) {
            if (equals < 0) ++i;  // its value is the next argument
        } else if (!listed(kQtFlags, name) || equals >= 0) {
            ours << argument;
        }
    }
    return ours;
}

// Checks the command line before any window system is needed. Answers --help and
// --version (a man page is made from the help text on machines without a display).
// Returns the exit code when the program should leave now.
std::optional<int> answeredWithoutWindows(int argc, char *argv[], Options &options) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const bool understood = options.parser.parse(withoutQtOptions(arguments));
    if (options.parser.isSet(options.help)) {
        QCoreApplication textOnly(argc, argv);  // the help text names the program from it
        print(options.parser.helpText());
        return 0;
    }
    if (options.parser.isSet(options.version)) {
        print(QStringLiteral("DemoCorvexLink " DEMO_VERSION "\n"));
        return 0;
    }
    QString error;
    if (!understood) {
        error = options.parser.errorText();
    } else if (!options.parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument '%1'.")
                    .arg(options.parser.positionalArguments().first());
    }
    if (error.isEmpty()) return std::nullopt;
    std::fprintf(stderr, "DemoCorvexLink: %s\nSee DemoCorvexLink --help.\n",
                 error.toLocal8Bit().constData());
    return 1;
}

// While the application object starts the window system, Qt's messages are held back.
// When no window system can be reached Qt ends the process with a fatal message (and an
// abort) after several lines of its own; instead the program says in one line that there
// is no display and leaves with exit code 1. When the start succeeds, the held messages
// are written as Qt would have.
std::vector<QByteArray> &heldMessages() {
    static std::vector<QByteArray> messages;
    return messages;
}

void holdOrLeave(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (type != QtFatalMsg) {
        heldMessages().push_back(qFormatLogMessage(type, context, message).toLocal8Bit());
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    QByteArray reason = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    if (!display.isEmpty())
        reason = "the display " + display + " cannot be reached";
    else if (!wayland.isEmpty())
        reason = "the display " + wayland + " cannot be reached";
    std::fprintf(stderr,
                 "DemoCorvexLink: no display to open the windows on (%s); run it on a desktop "
                 "or under xvfb-run.\n",
                 reason.constData());
    std::fflush(stderr);
    std::_Exit(1);  // nothing is open yet; the half-started application is left as it is
}

void releaseHeldMessages() {
    for (const QByteArray &message : heldMessages())
        std::fprintf(stderr, "%s\n", message.constData());
    heldMessages().clear();
}

}  // namespace

int main(int argc, char *argv[]) {
    Options options;
    if (const std::optional<int> leave = answeredWithoutWindows(argc, argv, options)) return *leave;

    const QtMessageHandler previous = qInstallMessageHandler(holdOrLeave);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    releaseHeldMessages();
    QApplication::setApplicationName(QStringLiteral("CorvexLink"));
    QApplication::setApplicationVersion(QStringLiteral(DEMO_VERSION));

    int result = 0;
    try {
        demo::createStartupWindows();
        demo::program().windows.Form1->show();
        demo::reportSettingsProblem();
        result = QApplication::exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(nullptr, QStringLiteral("CorvexLink"),
                              QString::fromLocal8Bit(error.what()));
        result = 0;
    }
    demo::resetProgram();  // every window goes before the application object
    return result;
}
