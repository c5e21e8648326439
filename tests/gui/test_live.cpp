// SPDX-License-Identifier: MIT
// Motion you can see: a motor window's "Live" switch reads the status register and the
// position only while it is on and the window is open, shows the position and lamps for
// the running bit and the limit switches, and stops on close, on the port's close and on a
// failed read; the status window shows the same bits as lamps.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

#include "status_lamp.h"
#include "status_window.h"
#include "test_device_windows.h"
#include "test_motor_window_helpers.h"

using namespace guitest;
using demo::LampState;
using demo::TMtr;
using Frames = std::vector<std::string>;

namespace {

using Live = FourMotors;

// Lets the program run for `ms` and returns the frames the simulator received meanwhile.
Frames framesDuring(kx4417::Simulator &sim, int ms) {
    sim.clearTranscript();
    QTest::qWait(ms);
    Frames frames;
    for (std::string frame : sim.frameTexts()) {
        if (!frame.empty() && frame.back() == '\r') frame.pop_back();
        frames.push_back(frame);
    }
    return frames;
}

std::vector<LampState> lamps(const TMtr *w) {
    return {w->MovingLamp->state(), w->LimitCcwLamp->state(), w->LimitCwLamp->state()};
}

QImage picture(const QIcon &icon) { return icon.pixmap(12, 12).toImage(); }

}  // namespace

TEST_F(Live, ReadsOnlyWhileOnAndShowsTheMotorMovingAndItsLimitSwitches) {
    openPortFromMainWindow();
    TMtr *w = openMotor(1);
    EXPECT_FALSE(w->Live->isChecked());
    EXPECT_EQ(framesDuring(sim(), 1200), Frames{}) << "off, the window reads nothing";
    EXPECT_EQ(lamps(w), std::vector<LampState>(3, LampState::Unknown));

    sim().setLimitSwitch(0, true, false);
    click(w->Live);
    const Frames reading = framesDuring(sim(), 1200);
    ASSERT_GE(reading.size(), 4u);
    for (std::size_t i = 0; i < reading.size(); ++i)
        EXPECT_EQ(reading[i], i % 2 ? "_0P" : "_0=") << i;
    EXPECT_EQ(lamps(w), (std::vector<LampState>{LampState::Off, LampState::On, LampState::Off}));

    // A move away from the switch: the lamp of the running motor lights and the position
    // grows, then the motor stops and the lamp goes dark.
    sim().setLimitSwitch(0, false, false);
    w->STNumber1->setText(QStringLiteral("1500"));
    click(w->CW1);
    QTest::qWait(700);
    EXPECT_EQ(w->MovingLamp->state(), LampState::On);
    const int early = w->MDPosi1->text().toInt();
    EXPECT_GT(early, 0);
    EXPECT_TRUE(QTest::qWaitFor([w] { return w->MovingLamp->state() == LampState::Off; }, 4000));
    EXPECT_EQ(w->MDPosi1->text(), QStringLiteral("1500"));
    EXPECT_EQ(lamps(w), std::vector<LampState>(3, LampState::Off));

    click(w->Live);
    EXPECT_EQ(framesDuring(sim(), 1200), Frames{});
    EXPECT_EQ(lamps(w), std::vector<LampState>(3, LampState::Unknown));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Live, TheSwitchIsRememberedAndTheReadingStopsOnCloseAndOnThePortsClose) {
    openPortFromMainWindow();
    TMtr *first = openMotor(2);
    click(first->Live);
    click(first->MDClose1);
    EXPECT_EQ(framesDuring(sim(), 1200), Frames{}) << "a closed window reads nothing";

    TMtr *second = openMotor(2);
    EXPECT_TRUE(second->Live->isChecked());
    EXPECT_FALSE(framesDuring(sim(), 1200).empty()) << "the remembered switch reads at once";

    click(mainControl<QToolButton>("MCloseSP"));
    EXPECT_EQ(framesDuring(sim(), 1200), Frames{});
    EXPECT_FALSE(second->Live->isChecked());
    EXPECT_EQ(lamps(second), std::vector<LampState>(3, LampState::Unknown));
    EXPECT_TRUE(boxes.shown.empty());
    // The port's close is not the operator's choice: the next window still reads.
    EXPECT_TRUE(demo::program().remembered.motorWindows[1].live);
}

TEST_F(Live, AFailedReadStopsTheReadingWithTheWindowsOneErrorBox) {
    openPortFromMainWindow();
    TMtr *w = openMotor(3);
    click(w->Live);
    QTest::qWait(700);
    sim().answerErrorCode(2, 1);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !boxes.shown.empty(); }, 2000));
    EXPECT_EQ(framesDuring(sim(), 1200), Frames{});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Error Message Motor 3"));
    EXPECT_EQ(boxes.shown[0].text, QString::fromLatin1(ZelmarGetErrorMessage()));
    EXPECT_FALSE(w->Live->isChecked());
}

TEST_F(Live, APulledCableGivesOneBoxPerWindowAndTheMainWindowShowsTheLineLost) {
    openPortFromMainWindow();
    TMtr *one = openMotor(1);
    click(one->Live);
    click(one->MDEnE1);  // polls encoder and position as well
    TMtr *two = openMotor(2);
    click(two->Live);
    QTest::qWait(600);
    ASSERT_TRUE(boxes.shown.empty());

    // Each box is read for a second, while the other windows go on.
    boxes.onShow = [](const demo::ShownBox &) { QTest::qWait(1000); };
    sim().hangUp();
    EXPECT_TRUE(QTest::qWaitFor([this] { return boxes.shown.size() >= 2; }, 5000));
    QTest::qWait(1500);
    boxes.onShow = nullptr;
    QStringList titles;
    for (const demo::ShownBox &box : boxes.shown) {
        titles << box.title;
        // Each box opens over the window whose reading failed.
        EXPECT_EQ(box.raisedFrom, box.title.endsWith(QLatin1Char('1')) ? one : two);
    }
    titles.sort();
    EXPECT_EQ(titles.join(QStringLiteral(", ")).toStdString(),
              "Error Message Motor 1, Error Message Motor 2");
    for (TMtr *w : {one, two}) {
        EXPECT_FALSE(w->Live->isChecked());
        EXPECT_FALSE(w->Timer1->isActive());
    }
    auto *bar = mainControl<QLabel>("Bar1");
    EXPECT_EQ(bar->text().toStdString(), " Serial Line Lost: no answer on COM1 at 9600");
    EXPECT_EQ(bar->palette().color(QPalette::Window), QColor(255, 0, 0));
}

TEST_F(Live, TheStatusWindowShowsTheRunningBitAndTheLimitSwitchesAsLamps) {
    openPortFromMainWindow();
    sim().setLimitSwitch(1, false, true);
    sim().setStatusOverride(2, CORVEXLINK_STATUS_RUNING);
    demo::TForm6 *window = openWindow(demo::program().windows.Form6);
    click(window->StatusB);
    ASSERT_TRUE(boxes.shown.empty());
    const QImage lit = demo::lampPicture(LampState::On, demo::limitLampColour(), 12).toImage();
    const QImage dark = demo::lampPicture(LampState::Off, demo::limitLampColour(), 12).toImage();
    const QImage running =
        demo::lampPicture(LampState::On, demo::runningLampColour(), 12).toImage();
    // Columns 3, 4 and 5 of the cells are RUNING, LS-CCW and LS-CW; the letters stay.
    EXPECT_EQ(window->Cells(6, 2), QStringLiteral(" Y "));
    EXPECT_EQ(picture(window->Sts1->item(1, 5)->icon()), lit);
    EXPECT_EQ(picture(window->Sts1->item(1, 4)->icon()), dark);
    EXPECT_EQ(picture(window->Sts1->item(2, 3)->icon()), running);
    EXPECT_NE(running, lit);
    EXPECT_TRUE(window->Sts1->item(1, 0)->icon().isNull()) << "TRGD has no lamp";
}
