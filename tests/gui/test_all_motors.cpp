// SPDX-License-Identifier: MIT
// The all-motors commands of the main window's board control panel against the simulator
// with four, seven and eight stations: the frames, the status panels, the refusals and
// the failure rule of each step.
#include <QCheckBox>
#include <QLabel>
#include <QTimer>

#include "test_motor_window_helpers.h"

using namespace guitest;
using demo::TMtr;
using Frames = std::vector<std::string>;
using Titles = std::vector<QString>;

namespace {

using AllMotorsFourTest = FourMotors;
using AllMotorsEightTest = EightMotors;
// Motor 4 missing: the button rule refuses although motors 5 to 8 are there.
using AllMotorsGapTest = MotorTest<0, 1, 2, 4, 5, 6, 7>;

QString panelText(int motor, const char *event) {
    return QStringLiteral(" Motor %1 : %2 ").arg(motor).arg(QLatin1String(event));
}

// The frames of the fixed move of CW all / CCW all to one address.
Frames fixedMove(int address, const char *steps) {
    const std::string p = "_" + std::to_string(address);
    return {p + "R600", p + "F50", p + "S1", p + "N" + steps};
}

}  // namespace

TEST_F(AllMotorsEightTest, CwAllJogAllPauseAllAndStopAllReportEachMotorInItsPanel) {
    openPortFromMainWindow();
    auto panels = [this] {
        std::vector<QString> texts;
        for (int m = 1; m <= 8; ++m) texts.push_back(form1()->motorPanel(m)->text());
        return texts;
    };
    auto allPanels = [](const char *event) {
        std::vector<QString> texts;
        for (int m = 1; m <= 8; ++m) texts.push_back(panelText(m, event));
        return texts;
    };

    sim().clearTranscript();
    click(mainControl<QPushButton>("CWALL"));
    Frames expected;
    for (int a = 0; a < 8; ++a) expected.push_back("_" + std::to_string(a) + "=");
    for (int a = 0; a < 8; ++a)
        for (const std::string &frame : fixedMove(a, "1000")) expected.push_back(frame);
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(panels(), allPanels(" RUNNING CW"));
    EXPECT_TRUE(sim().station(7).running);

    // Stop all also resets the current window of a motor: its boxes clear and send the mode.
    TMtr *three = openMotor(3);
    click(three->MDEFIFO1);
    sim().clearTranscript();
    click(mainControl<QPushButton>("STOPALL"));
    EXPECT_EQ(sent("]"), (Frames{"_0H", "_1H", "_2H", "_2M33", "_3H", "_4H", "_5H", "_6H", "_7H"}));
    EXPECT_FALSE(three->MDEFIFO1->isChecked());
    EXPECT_FALSE(three->MDEXEP1->isEnabled());
    EXPECT_FALSE(three->Timer1->isActive());
    EXPECT_EQ(panels(), allPanels("STOPPED"));

    sim().clearTranscript();
    click(mainControl<QPushButton>("JOGALLCW"));
    EXPECT_EQ(sent(), (Frames{"00FF+", "00FFJ", "00FFY600"}));
    EXPECT_EQ(panels(), allPanels(" JOGGING CW"));
    EXPECT_TRUE(sim().station(5).jogging);

    // Pause all pauses the eight motors but reports it for motors 1 to 4 only.
    click(mainControl<QPushButton>("MBPauseAll"));
    EXPECT_EQ(form1()->MBPauseAll->text(), QStringLiteral("QUIT &PAUSE ALL"));
    for (int a = 0; a < 8; ++a) EXPECT_TRUE(sim().station(a).pauseOn) << a;
    std::vector<QString> expectedPanels = allPanels(" JOGGING CW");
    for (int m = 1; m <= 4; ++m) expectedPanels[m - 1] = panelText(m, "PAUSED");
    EXPECT_EQ(panels(), expectedPanels);
    click(form1()->MBPauseAll);
    EXPECT_EQ(form1()->MBPauseAll->text(), QStringLiteral("&PAUSE  -ALL- "));
    for (int a = 0; a < 8; ++a) EXPECT_FALSE(sim().station(a).pauseOn) << a;
    EXPECT_EQ(panels(), expectedPanels);

    // A motor that fails to stop keeps its panel; motors 5 to 8 have their own titles.
    sim().answerErrorCode(1, 9);
    sim().answerErrorCode(5, 9);
    click(form1()->STOPALL);
    EXPECT_EQ(boxTitles(),
              (Titles{QStringLiteral("Error Message Motor 2"), QStringLiteral("ERROR MOTOR 6")}));
    expectedPanels = allPanels("STOPPED");
    expectedPanels[1] = panelText(2, "PAUSED");
    expectedPanels[5] = panelText(6, " JOGGING CW");
    EXPECT_EQ(panels(), expectedPanels);
}

TEST_F(AllMotorsEightTest, CcwAllReportsMotorsFoundMovingAndStillMovesThemAll) {
    openPortFromMainWindow();
    for (int a = 0; a < 8; ++a) sim().setStatusOverride(a, 0x08);  // running
    sim().setStatusOverride(3, 0x0A);                              // running and paused
    sim().setStatusOverride(7, 0x02);                              // paused only: not reported
    sim().setLimitSwitch(0, true, false);  // motor 1 refuses to move counter-clockwise
    std::vector<QString> seen;
    boxes.onShow = [this, &seen](const demo::ShownBox &) {
        for (int m = 1; m <= 8; ++m) seen.push_back(form1()->motorPanel(m)->text());
    };
    sim().clearTranscript();
    click(mainControl<QPushButton>("CCWALL"));

    EXPECT_EQ(boxTitles(), (Titles{QStringLiteral("ERROR MOTOR ADDRESS:0")}));
    ASSERT_EQ(seen.size(), 8u);
    for (int m = 1; m <= 7; ++m)
        EXPECT_EQ(seen[m - 1], panelText(m, m == 4 ? "PAUSED" : "STILL RUNNING"));
    EXPECT_EQ(seen[7], QStringLiteral("Motor 8:"));
    const Frames frames = sent();
    ASSERT_EQ(frames.size(), 8u + 32u);
    for (int a = 0; a < 8; ++a) {
        const Frames move = fixedMove(a, "-1000");
        EXPECT_EQ(Frames(frames.begin() + 8 + 4 * a, frames.begin() + 12 + 4 * a), move) << a;
    }
    for (int m = 1; m <= 8; ++m)
        EXPECT_EQ(form1()->motorPanel(m)->text(), panelText(m, " RUNNING CCW"));
}

TEST_F(AllMotorsFourTest, AFailedFirstRateAtAddressOneLeavesTheLaterAddressesWithoutCommands) {
    openPortFromMainWindow();
    // Motor 1 sits on its clockwise limit, so its move fails; while that box shows, station 1
    // is told to refuse its next command (the slew rate), and while that box shows, the next
    // one again (the first rate).
    sim().setLimitSwitch(0, false, true);
    int armed = 0;
    boxes.onShow = [this, &armed](const demo::ShownBox &) {
        if (++armed <= 2) sim().answerErrorCode(1, 9);
    };
    sim().clearTranscript();
    click(mainControl<QPushButton>("CWALL"));

    Frames expected{"_0=", "_1=", "_2=", "_3="};
    for (const std::string &frame : fixedMove(0, "1000")) expected.push_back(frame);
    expected.push_back("_1R600");
    expected.push_back("_1F50");
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(boxTitles(), (Titles{QStringLiteral("ERROR MOTOR ADDRESS:0"),
                                   QStringLiteral("ERROR MOTOR ADDRESS:1"),
                                   QStringLiteral("ERROR MOTOR ADDRESS:1")}));
    for (int m = 1; m <= 4; ++m)
        EXPECT_EQ(form1()->motorPanel(m)->text(), panelText(m, " RUNNING CW"));
    EXPECT_FALSE(sim().station(2).running);

    // A failed status read ends the operation before any move command.
    boxes.onShow = nullptr;
    boxes.shown.clear();
    sim().answerErrorCode(2, 9);
    sim().clearTranscript();
    click(form1()->CCWALL);
    EXPECT_EQ(sent(), (Frames{"_0=", "_1=", "_2="}));
    EXPECT_EQ(boxTitles(), (Titles{QStringLiteral("ERROR MOTOR ADDRESS:2")}));
}

TEST_F(AllMotorsFourTest, TriggerAllTogglesItsCaptionAndTakesTheGroupFromTheAnsweredAddresses) {
    openPortFromMainWindow();
    sim().clearTranscript();
    click(mainControl<QPushButton>("MBTriggerAll"));
    EXPECT_EQ(form1()->MBTriggerAll->text(), QStringLiteral("&TRIGGER ALL-OFF-"));
    for (int a = 0; a < 4; ++a) EXPECT_TRUE(sim().station(a).triggerOn) << a;
    click(form1()->MBTriggerAll);
    EXPECT_EQ(form1()->MBTriggerAll->text(), QStringLiteral("&TRIGGER ALL-ON-"));
    for (int a = 0; a < 4; ++a) EXPECT_FALSE(sim().station(a).triggerOn) << a;
    Frames frames = sent();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].substr(0, 3), "_0:");  // motors 0 to 3: board 0's master alone

    // Addresses 4 to 7 recorded (as the address dialog does) without their motor buttons:
    // trigger all takes eight motors, CW all still four.
    for (int a = 4; a < 8; ++a) demo::program().AddrFound[a] = a;
    sim().clearTranscript();
    click(form1()->MBTriggerAll);
    frames = sent();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].substr(0, 5), "0011:");
    click(form1()->CWALL);
    EXPECT_EQ(sent().size(), 1u + 4u + 16u);

    // A failed call leaves the caption toggled.
    sim().answerErrorCode(0, 9);
    click(form1()->MBTriggerAll);
    EXPECT_EQ(form1()->MBTriggerAll->text(), QStringLiteral("&TRIGGER ALL-ON-"));
    EXPECT_EQ(boxTitles(), (Titles{QStringLiteral("ERROR in Trigger All the Motors")}));
}

TEST_F(AllMotorsGapTest, MovesAndJogsRefuseWithoutMotorsOneToFourAndStopAllSkipsTheMissingMotor) {
    openPortFromMainWindow();
    EXPECT_EQ(motorButtons(), "11101111");
    sim().clearTranscript();
    click(mainControl<QPushButton>("CWALL"));
    click(mainControl<QPushButton>("CCWALL"));
    click(mainControl<QPushButton>("JOGALLCW"));
    click(mainControl<QPushButton>("JOGALLCCW"));
    EXPECT_EQ(sent(), Frames{});
    ASSERT_EQ(boxes.shown.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(boxes.shown[i].title, QStringLiteral("ERROR IN CWW"));
        EXPECT_EQ(boxes.shown[i].text,
                  QStringLiteral("IN ORDER TO PROCEED 4 or 8 Controllres Must be ENABLED"));
        EXPECT_EQ(boxes.shown[i].icon, demo::BoxIcon::Error);
    }
    for (int i = 2; i < 4; ++i) {
        EXPECT_EQ(
            boxes.shown[i].title,
            QStringLiteral("In Order to perform this function 4 or 8 Controller must be detected"));
        EXPECT_EQ(boxes.shown[i].text, QStringLiteral("ERROR JOG ALL MOTORS"));
    }
    EXPECT_EQ(form1()->motorPanel(1)->text(), QStringLiteral("Motor 1:"));

    click(form1()->STOPALL);
    EXPECT_EQ(sent(), (Frames{"_0H", "_1H", "_2H", "_4H", "_5H", "_6H", "_7H"}));
    EXPECT_EQ(form1()->motorPanel(4)->text(), QStringLiteral("Motor 4:"));
    EXPECT_EQ(form1()->motorPanel(5)->text(), panelText(5, "STOPPED"));
}
