// The main window against the simulator: opening and closing the port, the scan and the
// state of the controls, board initialisation.
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "gui_fixture.h"

using namespace guitest;

namespace {

const QString kNoControllers = QStringLiteral("N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,");

const char *const kPortControls[] = {"MChangeSP", "Maddr", "MCurrent", "MCtrCon", "MBInit",
                                     "VIewADD", "GETC", "INITB", "CurrW", "IO", "ADCB",
                                     "MBTriggerAll", "MBPauseAll", "JOGALLCCW", "JOGALLCW",
                                     "STOPALL", "CCWALL", "CWALL", "StatusReg"};

}  // namespace

TEST_F(GuiTest, OpeningThroughThePortDialogScansAndEnablesTheFoundMotors) {
    for (const char *name : kPortControls) EXPECT_FALSE(mainControl(name)->isEnabled()) << name;
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral("Connection:"));

    openPortFromMainWindow();

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text(), QStringLiteral("0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Opened at: 9600"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->palette().color(QPalette::Window), QColor(0, 128, 0));
    EXPECT_EQ(motorButtons(), "11110000");
    for (const char *name : kPortControls) EXPECT_TRUE(mainControl(name)->isEnabled()) << name;
    const auto &found = demo::program().AddrFound;
    for (int a = 0; a < 16; ++a) EXPECT_EQ(found[a], a < 4 ? a : -1) << a;
    EXPECT_EQ(sim().hostBaudRate(), 9600);
}
