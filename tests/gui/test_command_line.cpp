// SPDX-License-Identifier: MIT
// DemoCorvexLink's command line, run as its own process: --help and --version answer on
// standard output with no display at all (a man page is made from the help text on build
// machines without one), anything the program does not know ends it with exit code 1
// before a window opens, and without a display it says so and ends with exit code 1.
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "demo_version.h"

namespace {

struct Outcome {
    bool ended = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// How the program finds a window system: none at all (every way to one is taken out of the
// environment), an X display that nobody serves, or Qt's offscreen platform.
enum class Display { None, Unreachable, Offscreen };

Outcome runDemo(const QStringList &arguments, Display display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    if (display == Display::Offscreen)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (display == Display::Unreachable)
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral("unix:/nonexistent/corvexlink-x11"));
    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(DEMO_PROGRAM_PATH), arguments);
    Outcome run;
    run.ended = demo.waitForFinished(30000);
    if (!run.ended) {
        demo.kill();
        demo.waitForFinished();
        return run;
    }
    run.exitCode = demo.exitStatus() == QProcess::NormalExit ? demo.exitCode() : -1;
    run.out = QString::fromLocal8Bit(demo.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(demo.readAllStandardError());
    return run;
}

}  // namespace

TEST(DemoCommandLine, HelpAnswersWithoutADisplayAndNamesBothOptions) {
    for (const char *option : {"--help", "-h"}) {
        const Outcome run = runDemo({QLatin1String(option)}, Display::None);
        ASSERT_TRUE(run.ended) << option;
        EXPECT_EQ(run.exitCode, 0) << option << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("Usage: "))) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("DemoCorvexLink [options]")));
        EXPECT_TRUE(run.out.contains(QStringLiteral("-h, --help")));
        EXPECT_TRUE(run.out.contains(QStringLiteral("-v, --version")));
        EXPECT_TRUE(run.out.contains(QStringLiteral("CORVEXLINK_COM")));
    }
}

TEST(DemoCommandLine, VersionAnswersWithoutADisplayWithTheProgramsFourPartVersion) {
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"))
                    .match(QStringLiteral(DEMO_VERSION))
                    .hasMatch())
        << DEMO_VERSION;
    for (const char *option : {"--version", "-v"}) {
        const Outcome run = runDemo({QLatin1String(option)}, Display::None);
        ASSERT_TRUE(run.ended) << option;
        EXPECT_EQ(run.exitCode, 0) << option << ": " << run.err.toStdString();
        EXPECT_EQ(run.out, QStringLiteral("DemoCorvexLink " DEMO_VERSION "\n")) << option;
    }
    // A Qt option in front does not hide the answer.
    const Outcome run = runDemo(
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")},
        Display::None);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral("DemoCorvexLink " DEMO_VERSION "\n"));
}

TEST(DemoCommandLine, AnUnknownOptionOrAnArgumentEndsTheProgramWithACodeBeforeAnyWindow) {
    const struct {
        QStringList arguments;
        const char *message;
    } cases[] = {
        {{QStringLiteral("--bogus")}, "Unknown option 'bogus'."},
        {{QStringLiteral("-x")}, "Unknown option 'x'."},
        {{QStringLiteral("COM1")}, "Unexpected argument 'COM1'."},
        // Qt's own options are not the program's to refuse, with or without their value.
        {{QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("--bogus")},
         "Unknown option 'bogus'."},
        {{QStringLiteral("--reverse"), QStringLiteral("-style=fusion"), QStringLiteral("COM1")},
         "Unexpected argument 'COM1'."},
    };
    // The command line is checked before the window system is needed, so the answer is the
    // same with a display and without one.
    for (const Display display : {Display::Offscreen, Display::None}) {
        for (const auto &c : cases) {
            const Outcome run = runDemo(c.arguments, display);
            ASSERT_TRUE(run.ended) << c.message << ": the program went on to its windows";
            EXPECT_EQ(run.exitCode, 1) << c.message << ": " << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(QStringLiteral("See DemoCorvexLink --help.")));
            EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        }
    }
}

TEST(DemoCommandLine, WithoutADisplayTheProgramSaysSoInOneLineAndLeavesWithOne) {
    const struct {
        Display display;
        const char *reason;
    } cases[] = {
        {Display::None, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
        {Display::Unreachable, "the display unix:/nonexistent/corvexlink-x11 cannot be reached"},
    };
    for (const auto &c : cases) {
        const Outcome run =
            runDemo({QStringLiteral("-style"), QStringLiteral("fusion")}, c.display);
        ASSERT_TRUE(run.ended) << c.reason;
        EXPECT_EQ(run.exitCode, 1) << c.reason << ": " << run.err.toStdString();
        EXPECT_EQ(run.err,
                  QStringLiteral("DemoCorvexLink: no display to open the windows on (%1); run it "
                                 "on a desktop or under xvfb-run.\n")
                      .arg(QLatin1String(c.reason)));
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
}
