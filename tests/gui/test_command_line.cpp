// SPDX-License-Identifier: MIT
// DemoCorvexLink's command line, run as its own process: --help and --version answer on
// standard output with no display at all (a man page is made from the help text on build
// machines without one), and anything the program does not know ends it with exit code 1
// before a window opens.
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

// withDisplay false takes every way to a window system out of the environment, so a
// program that creates its QApplication anyway fails instead of answering.
Outcome runDemo(const QStringList &arguments, bool withDisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    if (withDisplay) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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
        const Outcome run = runDemo({QLatin1String(option)}, false);
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
        const Outcome run = runDemo({QLatin1String(option)}, false);
        ASSERT_TRUE(run.ended) << option;
        EXPECT_EQ(run.exitCode, 0) << option << ": " << run.err.toStdString();
        EXPECT_EQ(run.out, QStringLiteral("DemoCorvexLink " DEMO_VERSION "\n")) << option;
    }
    // A Qt option in front does not hide the answer.
    const Outcome run = runDemo(
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")},
        false);
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
    };
    for (const auto &c : cases) {
        const Outcome run = runDemo(c.arguments, true);
        ASSERT_TRUE(run.ended) << c.message << ": the program went on to its windows";
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("See DemoCorvexLink --help.")));
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
}
