// SPDX-License-Identifier: MIT
// The status window against the simulator: its table, the NOTAVL rows of unusable motors,
// the " Y "/" N " cells of Get Status Register, and the rows of motors 5 to 8.
#include <QPushButton>
#include <QTableWidget>

#include "gui_fixture.h"
#include "status_window.h"
#include "test_device_windows.h"

using namespace guitest;

namespace {

const QStringList kFlags = {"TRGD",  "PSED", "ABORTD", "RUNING", "LS-CCW",
                            "LS-CW", "HOME", "READY",  "DIR",    "STALL"};

QStringList row(const demo::TForm6 *window, int r) {
    QStringList cells;
    for (int c = 1; c <= 10; ++c) cells << window->Cells(c, r);
    return cells;
}

QStringList flagsOf(int status) {
    QStringList cells;
    for (int bit = 0; bit < 10; ++bit)
        cells << ((status >> bit) & 1 ? QStringLiteral(" Y ") : QStringLiteral(" N "));
    return cells;
}

using StatusWithThreeStations = GuiTestWith<0, 1, 2>;

TEST_F(StatusWithThreeStations, StatusWindowMarksUnusableMotorsAndReadsTheOthers) {
    openPortFromMainWindow();
    sim().setStatusOverride(1, 0x208);
    demo::TForm6 *window = openWindow(demo::program().windows.Form6);
    EXPECT_EQ(window->windowTitle(), QStringLiteral(" MOTOR FLAGS STATUS"));
    EXPECT_EQ(window->RowCount(), 5);
    for (int c = 1; c <= 10; ++c) EXPECT_EQ(window->Cells(c, 0), kFlags[c - 1]);
    for (int m = 1; m <= 4; ++m) EXPECT_EQ(window->Cells(0, m), QStringLiteral("MOTOR%1").arg(m));
    EXPECT_EQ(row(window, 4), QStringList(10, QStringLiteral("NOTAVL")));
    EXPECT_EQ(row(window, 1), QStringList(10, QString()));
    EXPECT_EQ(window->Sts1->item(0, 0)->foreground().color(), QColor(Qt::blue));

    click(window->StatusB);
    EXPECT_TRUE(boxes.shown.empty());
    const QStringList motor2 = row(window, 2);
    EXPECT_EQ(motor2, flagsOf(0x208));
    EXPECT_EQ(motor2[kFlags.indexOf("RUNING")], QStringLiteral(" Y "));
    EXPECT_EQ(motor2[kFlags.indexOf("STALL")], QStringLiteral(" Y "));
    EXPECT_EQ(motor2.count(QStringLiteral(" Y ")), 2);
    EXPECT_EQ(row(window, 1), flagsOf(sim().station(0).status));
    EXPECT_EQ(row(window, 4), QStringList(10, QStringLiteral("NOTAVL")));
}

TEST_F(StatusWithThreeStations, AFailedReadEndsGetStatusRegister) {
    openPortFromMainWindow();
    demo::TForm6 *window = openWindow(demo::program().windows.Form6);
    sim().setSilent(1, true);
    click(window->StatusB);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("MOTOR 2"));
    EXPECT_EQ(boxes.shown[0].text, QString::fromLocal8Bit(ZelmarGetErrorMessage()));
    EXPECT_EQ(row(window, 1).count(QStringLiteral(" N ")) +
                  row(window, 1).count(QStringLiteral(" Y ")),
              10);
    EXPECT_EQ(row(window, 3), QStringList(10, QString()));  // never asked
}

using StatusWithEightStations = GuiTestWith<0, 1, 2, 3, 4, 5, 6, 7>;

TEST_F(StatusWithEightStations, StatusWindowOfEightMotorsHasRowsForMotors5To8) {
    openPortFromMainWindow();
    sim().setStatusOverride(6, 0x101);
    demo::TForm6 *window = openWindow(demo::program().windows.Form6);
    EXPECT_EQ(window->RowCount(), 9);
    for (int m = 5; m <= 8; ++m) {
        EXPECT_EQ(window->Cells(0, m), QStringLiteral("MOTOR%1").arg(m));
        EXPECT_FALSE(row(window, m).contains(QStringLiteral("NOTAVL"))) << m;
    }
    EXPECT_EQ(window->Sts1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    sim().clearTranscript();
    click(window->StatusB);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(row(window, 7), flagsOf(0x101));
    for (int m = 1; m <= 8; ++m)
        EXPECT_EQ(row(window, m).count(QStringLiteral(" Y ")) +
                      row(window, m).count(QStringLiteral(" N ")),
                  10)
            << m;
    EXPECT_EQ(framesWithLetters(sim(), "=").size(), 8u);
}

TEST_F(GuiTest, StatusWindowBeforeAnyMotorIsFoundShowsOnlyNotAvailable) {
    demo::TForm6 *window = openWindow(demo::program().windows.Form6);
    for (int m = 1; m <= 4; ++m)
        EXPECT_EQ(row(window, m), QStringList(10, QStringLiteral("NOTAVL"))) << m;
    click(window->StatusB);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(sim().frameTexts().empty());
    click(window->MDClose1);
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
