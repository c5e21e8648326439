// SPDX-License-Identifier: MIT
// A program that returns from main with its port open ends promptly: the library closes
// the port while it is unloaded and does not wait for a worker that is already gone.
#include <QElapsedTimer>
#include <QProcess>

#include "gui_fixture.h"

using namespace guitest;

namespace {

struct Finished {
    bool ended = false;
    int exitCode = -1;
    QString output;
    qint64 milliseconds = 0;
};

Finished runExitHelper(const QString &mode, const std::string &com1) {
    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CORVEXLINK_COM1"), QString::fromStdString(com1));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    helper.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    helper.start(QStringLiteral(EXIT_HELPER_PATH), {mode});
    Finished result;
    // Closing the port takes its 300 ms settling wait; ten seconds means it hangs.
    result.ended = helper.waitForFinished(10000);
    result.milliseconds = clock.elapsed();
    if (!result.ended) {
        helper.kill();
        helper.waitForFinished();
        return result;
    }
    result.exitCode = helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1;
    result.output = QString::fromLatin1(helper.readAllStandardOutput()).trimmed();
    return result;
}

}  // namespace

class ProcessExit : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.start()); }
    void TearDown() override { sim_.stop(); }
    kx4417::Simulator sim_;
};

TEST_F(ProcessExit, ReturningFromMainWithAnOpenPortEndsPromptly) {
    for (const char *mode : {"open", "open-qt"}) {
        const Finished run = runExitHelper(QLatin1String(mode), sim_.slavePath());
        ASSERT_TRUE(run.ended) << mode << ": the program did not end";
        EXPECT_EQ(run.exitCode, 0) << mode << ": " << run.output.toStdString();
        EXPECT_EQ(run.output, QStringLiteral("1 9600")) << mode;
        EXPECT_LT(run.milliseconds, 5000) << mode;
    }
}

TEST_F(ProcessExit, PortConfigureWithoutAGuiOpensWithTheCurrentSelectionAndShowsNothing) {
    const Finished run = runExitHelper(QStringLiteral("configure"), sim_.slavePath());
    ASSERT_TRUE(run.ended) << "PortConfigure waited for a dialog nobody can see";
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(run.output, QStringLiteral("1 9600"));
}
