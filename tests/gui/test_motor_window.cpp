// SPDX-License-Identifier: MIT
// The motor window against the simulator: moves and the values a motor remembers between
// its windows, STOP and the mode value, the toggles, the jog speed, position and encoder
// reads, and the second window of a motor.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include "field_updown.h"
#include "radio_group.h"
#include "status_panels.h"
#include "test_motor_window_helpers.h"

using namespace guitest;
using demo::TMtr;
using Frames = std::vector<std::string>;

namespace {

using MotorWindowTest = FourMotors;
using MotorWindowEightTest = EightMotors;

const QString kCaption1 = QStringLiteral("Error Message Motor 1");

}  // namespace

TEST_F(MotorWindowTest, CcwRemembersTheNegatedStepsForTheNextWindowAndAMoveGoesOnAfterAFailedCall) {
    openPortFromMainWindow();
    TMtr *first = openMotor(3);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("\"3\"  Desktop Motor Controller  "));
    EXPECT_EQ(child<QLineEdit>(first, "STNumber1")->text(), QStringLiteral("20000"));
    EXPECT_EQ(first->STSpeed1->text(), QStringLiteral("1900"));
    EXPECT_EQ(first->STInitSpeed1->text(), QStringLiteral("400"));
    EXPECT_FALSE(child<QPushButton>(first, "MDEXEP1")->isEnabled());
    EXPECT_FALSE(first->Timer1->isActive());
    EXPECT_EQ(first->Timer1->interval(), 401);

    sim().clearTranscript();
    first->STNumber1->setText(QStringLiteral("10000"));
    click(child<QPushButton>(first, "CCW1"));
    EXPECT_EQ(sent(), (Frames{"_2R1900", "_2F400", "_2S2", "_2N-10000"}));
    EXPECT_TRUE(boxes.shown.empty());

    TMtr *second = openMotor(3);
    ASSERT_NE(second, first);
    EXPECT_EQ(demo::program().windows.Mtr[2], second);
    EXPECT_EQ(second->STNumber1->text(), QStringLiteral("-10000"));
    EXPECT_EQ(second->STSpeed1->text(), QStringLiteral("1900"));

    // The library refuses the slew rate; the other three calls still go out, and CW with
    // the negative count moves counter-clockwise (the station is still busy and says so).
    sim().clearTranscript();
    second->STSpeed1->setText(QStringLiteral("10"));
    click(second->CW1);
    EXPECT_EQ(sent(), (Frames{"_2F400", "_2S2", "_2N-10000"}));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Error Message Motor 3"));
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("Wrong Slew Rate Value must be between 16 to 8500"));
    EXPECT_EQ(boxes.shown[0].icon, demo::BoxIcon::Error);
    EXPECT_EQ(boxes.shown[1].title, QStringLiteral("Error Message Motor 3"));
    EXPECT_EQ(demo::program().motors[2].move.slewRate, 10);
    // The other motors keep their own remembered values.
    EXPECT_EQ(openMotor(4)->STNumber1->text(), QStringLiteral("30000"));
}

TEST_F(MotorWindowTest, StopWithBothBoxesCheckedClearsThemAndSendsTheModeWithoutTheirBits) {
    openPortFromMainWindow();
    TMtr *w = openMotor(1);
    sim().clearTranscript();
    click(w->MDEFIFO1);
    EXPECT_TRUE(w->MDEXEP1->isEnabled());
    click(child<QCheckBox>(w, "MDEnE1"));
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_EQ(sent("]{P"), (Frames{"_0M97", "_0M113"}));

    sim().clearTranscript();
    click(child<QPushButton>(w, "Stop1"));
    EXPECT_EQ(sent("]{P"), (Frames{"_0H", "_0M49", "_0M33"}));
    EXPECT_FALSE(w->MDEFIFO1->isChecked());
    EXPECT_FALSE(w->MDEnE1->isChecked());
    EXPECT_FALSE(w->MDEXEP1->isEnabled());
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_EQ(sim().station(0).mode, 33);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MotorWindowTest, StepModeReplacesTheModeValueAndANewWindowContinuesFromIt) {
    openPortFromMainWindow();
    TMtr *w = openMotor(2);
    click(w->MDEFIFO1);
    click(w->MDEnE1);
    sim().clearTranscript();

    clickItem(w->StepperMode1, 0);  // "Biphasic" drops the FIFO and encoder bits
    EXPECT_TRUE(w->MDEFIFO1->isChecked());
    EXPECT_TRUE(w->MDEnE1->isChecked());
    click(w->MDEFIFO1);  // the bit is already clear: 36 again
    EXPECT_FALSE(w->MDEXEP1->isEnabled());
    clickItem(w->SeekHome1, 0);
    clickItem(w->SeekHome1, 1);
    EXPECT_EQ(sent("]{P"), (Frames{"_1M36", "_1M36", "_1M164", "_1M36"}));

    TMtr *again = openMotor(2);
    EXPECT_EQ(again->StepperMode1->itemIndex(), 2);
    EXPECT_EQ(again->SeekHome1->itemIndex(), 1);
    EXPECT_FALSE(again->MDEnE1->isChecked());
    sim().clearTranscript();
    click(again->MDEnE1);
    EXPECT_EQ(sent("]{P"), (Frames{"_1M52"}));

    // A refused mode keeps the bit in the value but leaves EXE Profile as it was.
    sim().answerErrorCode(1, 9);
    click(again->MDEFIFO1);
    EXPECT_EQ(boxTitles(), (std::vector<QString>{QStringLiteral("Error Message Motor 2")}));
    EXPECT_FALSE(again->MDEXEP1->isEnabled());
    EXPECT_EQ(demo::program().motors[1].modeValue, 36 | 0x10 | 0x40);
    again->Timer1->stop();
}

TEST_F(MotorWindowTest, PauseAndPowerToggleByTheirCaptionsAndThePowerButtonFirstSwitchesOff) {
    openPortFromMainWindow();
    TMtr *w = openMotor(1);
    EXPECT_EQ(w->POWER1->text(), QStringLiteral("\"POW&ER -ON-\""));
    sim().clearTranscript();
    click(w->POWER1);
    EXPECT_EQ(w->POWER1->text(), QStringLiteral("POW&ER -ON-"));
    EXPECT_FALSE(sim().station(0).powerOn);
    click(w->POWER1);
    EXPECT_EQ(w->POWER1->text(), QStringLiteral("POW&ER -OFF-"));
    EXPECT_TRUE(sim().station(0).powerOn);
    EXPECT_EQ(sent(), (Frames{"_0*0", "_0*1"}));

    click(w->MDPause1);
    EXPECT_EQ(w->MDPause1->text(), QStringLiteral("&PAUSE -OFF-"));
    EXPECT_TRUE(sim().station(0).pauseOn);
    click(w->MDTrigger1);
    EXPECT_TRUE(sim().station(0).triggerOn);
    click(w->MDTriggerOFF1);
    EXPECT_FALSE(sim().station(0).triggerOn);
    EXPECT_EQ(w->MDTrigger1->text(), QStringLiteral("&Trigger -ON-"));

    // A failed call still flips the caption: after the call for pause, before it for power.
    sim().answerErrorCode(0, 9);
    click(w->MDPause1);
    EXPECT_EQ(w->MDPause1->text(), QStringLiteral("&PAUSE -ON-"));
    EXPECT_TRUE(sim().station(0).pauseOn);
    sim().answerErrorCode(0, 9);
    click(w->POWER1);
    EXPECT_EQ(w->POWER1->text(), QStringLiteral("POW&ER -ON-"));
    EXPECT_TRUE(sim().station(0).powerOn);
    EXPECT_EQ(boxTitles(), (std::vector<QString>{kCaption1, kCaption1}));
}

TEST_F(MotorWindowTest, JogSpeedArrowSendsTheFieldAsItWasBeforeTheStep) {
    openPortFromMainWindow();
    TMtr *w = openMotor(1);
    sim().clearTranscript();
    click(child<demo::UpDown>(w, "MDUpDownJ1")->upButton());
    EXPECT_EQ(w->MDISJOG1->text(), QStringLiteral("110"));
    w->MDISJOG1->setText(QStringLiteral("250"));  // typing alone sends nothing
    click(w->MDUpDownJ1->downButton());
    EXPECT_EQ(w->MDISJOG1->text(), QStringLiteral("240"));
    EXPECT_EQ(sent(), (Frames{"_0Y100", "_0Y250"}));

    sim().clearTranscript();
    click(w->MDCKW1);
    EXPECT_TRUE(sim().station(0).jogging);
    click(w->Stop1);
    click(w->MDCCKW1);
    click(w->Stop1);
    w->MDAbst1->setText(QStringLiteral("40000"));  // beyond the control's range
    click(w->MDAbs1);
    EXPECT_EQ(sent(), (Frames{"_0+", "_0J", "_0H", "_0-", "_0J", "_0H", "_0T32000"}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MotorWindowTest, UpdatePositionFoldsTheTopCountWhileTheTickShowsItAsTheLibraryReturnsIt) {
    openPortFromMainWindow();
    TMtr *w = openMotor(1);
    sim().setPositionRaw(0, 8388608);
    click(w->ReadCtr1);
    EXPECT_EQ(w->MDPosi1->text(), QStringLiteral("0"));

    click(w->MDEnE1);
    w->Timer1->stop();  // the test runs the ticks itself
    tick(w);
    EXPECT_EQ(w->MDPosi1->text(), QStringLiteral("8388608"));
    EXPECT_EQ(w->MDEncoder1->text(), QStringLiteral("0"));
    EXPECT_EQ(w->StatusBar1->text(4), QStringLiteral("FREE FIFO:(128)"));

    sim().setPositionRaw(0, 8388608 + 25);  // -25
    click(w->ReadCtr1);
    EXPECT_EQ(w->MDPosi1->text(), QStringLiteral("-25"));
    sim().setPositionRaw(0, -1);
    sim().clearTranscript();
    click(w->ResetCtr1);
    EXPECT_EQ(w->MDPosi1->text(), QStringLiteral("0"));
    click(w->MDUpP1);
    EXPECT_EQ(w->MDEncoder1->text(), QStringLiteral("0"));
    EXPECT_EQ(sent(), (Frames{"_0A0", "_0{"}));

    // A failed read stops the polling before its box, and the tick ends there. (The first
    // tick found room in the FIFO and offered EXE Profile, so no FIFO query now.)
    ASSERT_TRUE(w->MDEXEP1->isEnabled());
    w->Timer1->start();
    sim().answerErrorCode(0, 9);
    sim().clearTranscript();
    tick(w);
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_EQ(sent(""), (Frames{"_0{"}));
    EXPECT_EQ(w->MDEncoder1->text(), QStringLiteral("0"));
    EXPECT_EQ(boxTitles(), (std::vector<QString>{kCaption1}));
}

TEST_F(MotorWindowTest, TickOffersExeProfileOnlyWhileTheFreeFifoIsAboveTheThreshold) {
    openPortFromMainWindow();
    TMtr *w = openMotor(1);
    click(w->MDEFIFO1);             // FIFO mode: EXE Profile offered, polling on
    clickItem(w->StepperMode1, 2);  // the FIFO bit leaves again: the queue holds still
    ASSERT_TRUE(w->MDEXEP1->isEnabled());

    demo::SegmentTable &table = demo::program().motors[0].segments;
    table.count = 14;  // 14 x 9 bytes leave 2 of the 128
    for (int i = 0; i < table.count; ++i) {
        table.firstRate[i] = 400;
        table.slope[i] = 0;
        table.steps[i] = 150;
    }
    click(w->MDEXEP1);
    EXPECT_EQ(demo::program().motors[0].freeFifo, 2);
    EXPECT_EQ(w->StatusBar1->text(0), QStringLiteral(" Segments :(13)"));

    tick(w);
    EXPECT_FALSE(w->MDEXEP1->isEnabled());
    EXPECT_EQ(w->StatusBar1->text(4), QStringLiteral("FREE FIFO:(2)"));
    sim().scriptNextAnswer({"\r\n05\r\n>"},
                           std::chrono::milliseconds(0));  // a padded value reads the same
    tick(w);  // exactly the threshold: still not offered
    EXPECT_FALSE(w->MDEXEP1->isEnabled());
    EXPECT_EQ(w->StatusBar1->text(4), QStringLiteral("FREE FIFO:(5)"));

    // A second window of the motor switches the FIFO mode on; the queue drains and the
    // first window's own polling offers EXE Profile again.
    TMtr *second = openMotor(1);
    click(second->MDEFIFO1);
    second->Timer1->stop();
    ASSERT_TRUE(w->Timer1->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(w->MDEXEP1->isEnabled(), 5000);
    EXPECT_GT(demo::program().motors[0].freeFifo, 5);
    EXPECT_TRUE(boxes.shown.empty());
    w->Timer1->stop();
}

TEST_F(MotorWindowTest, ExeProfileSendsEachSegmentThroughTheFifoAndStopsAtTheFirstFailure) {
    openPortFromMainWindow();
    TMtr *w = openMotor(2);
    click(w->MDEFIFO1);
    w->Timer1->stop();
    demo::SegmentTable &table = demo::program().motors[1].segments;
    table.count = 3;
    const int firstRates[] = {500, 800, 300}, slopes[] = {3, -1, 0}, steps[] = {400, 1200, -900};
    for (int i = 0; i < 3; ++i) {
        table.firstRate[i] = firstRates[i];
        table.slope[i] = slopes[i];
        table.steps[i] = steps[i];
    }
    sim().clearTranscript();
    click(w->MDEXEP1);
    EXPECT_TRUE(w->Timer1->isActive());
    w->Timer1->stop();
    EXPECT_EQ(sent(), (Frames{"_1&F500", "_1&S3", "_1&N400", "_1&F800", "_1&S255", "_1&N1200",
                              "_1&F300", "_1&S0", "_1&N-900"}));
    EXPECT_EQ(w->StatusBar1->text(0), QStringLiteral(" Segments :(2)"));
    EXPECT_EQ(w->StatusBar1->text(1), QStringLiteral("FSpeed:(300)"));
    EXPECT_EQ(w->StatusBar1->text(2), QStringLiteral("ACC :(0)"));
    EXPECT_EQ(w->StatusBar1->text(3), QStringLiteral("Step N:(-900)"));
    EXPECT_LT(demo::program().motors[1].freeFifo, 128);
    EXPECT_TRUE(boxes.shown.empty());

    sim().clearTranscript();
    sim().answerErrorCode(1, 9);
    click(w->MDEXEP1);
    w->Timer1->stop();
    EXPECT_EQ(sent(), (Frames{"_1&F500"}));
    EXPECT_EQ(boxTitles(), (std::vector<QString>{QStringLiteral("Error Message Motor 2")}));

    // An empty table, or a count the table cannot hold, sends nothing but starts the polling.
    TMtr *other = openMotor(3);
    click(other->MDEFIFO1);
    other->Timer1->stop();
    sim().clearTranscript();
    for (int count : {0, -4}) {
        demo::program().motors[2].segments.count = count;
        click(other->MDEXEP1);
        EXPECT_TRUE(other->Timer1->isActive());
        other->Timer1->stop();
    }
    EXPECT_EQ(sent(), Frames{});
}

TEST_F(MotorWindowTest, StopDuringTheQueueingOfAProfileEndsTheQueueingWithoutABox) {
    openPortFromMainWindow();
    TMtr *w = openMotor(1);
    click(w->MDEFIFO1);  // the station plays the FIFO as it fills
    demo::SegmentTable &table = demo::program().motors[0].segments;
    table.count = 60;  // 540 bytes: the queueing waits for room while the motor plays
    for (int i = 0; i < table.count; ++i) {
        table.firstRate[i] = 400;
        table.slope[i] = 0;
        table.steps[i] = 150;
    }
    sim().clearTranscript();
    QTimer::singleShot(800, [w] { QTest::mouseClick(w->Stop1, Qt::LeftButton); });
    click(w->MDEXEP1);

    const Frames frames = sent("]");  // without the polls for room
    const auto stop = std::find(frames.begin(), frames.end(), "_0H");
    ASSERT_NE(stop, frames.end());
    EXPECT_LT(std::count(frames.begin(), frames.end(), "_0&N150"), 40);
    // After the stop at most the end of the command under way, then the mode without the
    // FIFO bit once the queueing has ended.
    const Frames after(stop + 1, frames.end());
    EXPECT_LE(after.size(), 2u);
    EXPECT_EQ(after.back(), "_0M33");
    EXPECT_FALSE(w->MDEFIFO1->isChecked());
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MotorWindowTest, ResetFifoAndResetEncoderAndOnlyMotorOnesResetStopsThePolling) {
    openPortFromMainWindow();
    TMtr *one = openMotor(1);
    TMtr *two = openMotor(2);
    for (TMtr *w : {one, two}) {
        click(w->MDEnE1);
        w->Timer1->stop();
        w->Timer1->start(60000);  // on, but no tick during the test
    }
    sim().clearTranscript();
    click(one->MDResF1);
    EXPECT_EQ(one->StatusBar1->text(4), QStringLiteral("FREE FIFO:(128)"));
    click(one->MDRsetE1);
    click(two->MDRsetE1);
    EXPECT_EQ(sent(""), (Frames{"_0K", "_0]", "_0M33", "_0}0", "_1M33", "_1}0"}));
    EXPECT_FALSE(one->MDEnE1->isChecked());
    EXPECT_EQ(one->MDEncoder1->text(), QStringLiteral("0"));
    EXPECT_FALSE(one->Timer1->isActive());
    EXPECT_TRUE(two->Timer1->isActive());
    two->Timer1->stop();
}

TEST_F(MotorWindowEightTest, ClosingThePortStopsThePollingOfEveryMotorWindowAndOpeningResumesIt) {
    openPortFromMainWindow();
    TMtr *earlier = openMotor(1);
    std::vector<TMtr *> polling{earlier, openMotor(1)};
    for (int m = 5; m <= 8; ++m) polling.push_back(openMotor(m));
    EXPECT_EQ(polling.back()->Timer1->interval(), 551);
    for (TMtr *w : polling) {
        click(w->MDEnE1);  // starts the window's polling of position and encoder
        ASSERT_TRUE(w->Timer1->isActive()) << w->objectName().toStdString();
    }
    click(mainControl<QToolButton>("MCloseSP"));
    for (TMtr *w : polling) EXPECT_FALSE(w->Timer1->isActive()) << w->objectName().toStdString();
    // Longer than the slowest tick: no window reads from the closed port.
    QTest::qWait(800);
    QStringList titles;
    for (const QString &title : boxTitles()) titles << title;
    EXPECT_EQ(titles.join(QStringLiteral(", ")).toStdString(), "");
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Closed"));
    // The boxes still show the polling on: the next open resumes it.
    openPortFromMainWindow();
    for (TMtr *w : polling) EXPECT_TRUE(w->Timer1->isActive()) << w->objectName().toStdString();

    // Closing a window stops its own polling and only hides it.
    earlier->Timer1->start(60000);
    click(earlier->MDClose1);
    EXPECT_FALSE(earlier->isVisible());
    EXPECT_FALSE(earlier->Timer1->isActive());
}
