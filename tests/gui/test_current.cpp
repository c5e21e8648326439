// SPDX-License-Identifier: MIT
// The winding current window: its rows per found address, the requested-current table it
// keeps for the program, and the calls Set Motors Current makes.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "current_window.h"
#include "field_updown.h"
#include "gui_fixture.h"
#include "test_device_windows.h"

using namespace guitest;

namespace {

std::string shownRows(const demo::TCurrentWin *window) {
    std::string rows;
    for (int i = 0; i < demo::kAddresses; ++i)
        rows += window->Curr[i]->isVisibleTo(window) ? '1' : '0';
    return rows;
}

std::vector<QString> titles(const std::vector<demo::ShownBox> &shown) {
    std::vector<QString> result;
    for (const demo::ShownBox &box : shown) result.push_back(box.title);
    return result;
}

TEST_F(GuiTest, CurrentWindowWithNoAddressFoundStoresTheFieldsAndSendsNothing) {
    demo::TCurrentWin *window = openWindow(demo::program().windows.CurrentWin);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("  Setting  Motor Winding Current "));
    EXPECT_EQ(shownRows(window), "1111000000000000");
    for (int i = 0; i < demo::kAddresses; ++i) {
        EXPECT_EQ(window->Curr[i]->text(), QStringLiteral("50")) << i;
        EXPECT_EQ(window->UpDowns[i]->isEnabled(), i < 4) << i;
    }
    EXPECT_EQ(window->StaticText[0]->text(), QStringLiteral("Motor  1:"));
    EXPECT_EQ(window->StaticText[8]->text(), QStringLiteral("Motor   9:"));
    EXPECT_EQ(window->StaticText[15]->text(), QStringLiteral("Motor 16:"));
    EXPECT_EQ(window->Curr[0]->maxLength(), 5);

    window->Curr[1]->setText(QStringLiteral("640"));
    window->Curr[12]->setText(QStringLiteral("1200mA"));
    click(window->SetCurr1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(sim().frameTexts().empty());
    EXPECT_EQ(demo::program().RequestedCurrent[1], 640);
    EXPECT_EQ(demo::program().RequestedCurrent[12], 1200);  // hidden rows are read too
    EXPECT_EQ(demo::program().RequestedCurrent[0], 50);
}

TEST_F(GuiTest, CurrentWindowRefusesATextWithoutDigitsForAFoundAddressAndGoesOn) {
    openPortFromMainWindow();
    click(mainControl<QPushButton>("INITB"));
    ASSERT_TRUE(boxes.shown.empty());
    demo::TCurrentWin *window = openWindow(demo::program().windows.CurrentWin);
    window->Curr[0]->setText(QStringLiteral("abc"));
    window->Curr[2]->setText(QStringLiteral("700"));
    sim().clearTranscript();

    click(window->SetCurr1);
    EXPECT_EQ(demo::program().RequestedCurrent[0], 0);
    EXPECT_EQ(demo::program().RequestedCurrent[2], 700);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral(" ERROR in Set Current Motor Number :0"));
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("Wrong Current Value need to be from 50(mA) to 2000 (mA)"));
    EXPECT_EQ(boxes.shown[0].icon, demo::BoxIcon::Error);
    // Addresses 1 to 3 still get their currents, each as an SPI write (U) to the board.
    EXPECT_EQ(framesWithLetters(sim(), "U").size(), 3u);
}

TEST_F(GuiTest, RequestedCurrentsOutliveTheWindowAndGetShowsThemWithoutAsking) {
    openPortFromMainWindow();
    click(mainControl<QPushButton>("INITB"));
    demo::TCurrentWin *first = openWindow(demo::program().windows.CurrentWin);
    first->Curr[2]->setText(QStringLiteral("700"));
    click(first->SetCurr1);
    EXPECT_TRUE(boxes.shown.empty());
    click(first->CloseCurr);
    EXPECT_FALSE(first->isVisible());

    demo::TCurrentWin *second = openWindow(demo::program().windows.CurrentWin);
    EXPECT_EQ(second->Curr[2]->text(), QStringLiteral("700"));
    EXPECT_EQ(second->Curr[3]->text(), QStringLiteral("50"));

    second->Curr[2]->setText(QStringLiteral("1500"));
    second->Curr[9]->setText(QStringLiteral("x"));
    sim().clearTranscript();
    click(second->GetCurr1);
    EXPECT_EQ(second->Curr[2]->text(), QStringLiteral("700"));
    EXPECT_EQ(second->Curr[9]->text(), QStringLiteral("50"));
    EXPECT_TRUE(sim().frameTexts().empty());
}

using CurrentWithEightStations = GuiTestWith<0, 1, 2, 3, 4, 5, 6, 7>;

TEST_F(CurrentWithEightStations, CurrentWindowNamesTheFailedAddressInItsCaption) {
    openPortFromMainWindow();
    click(mainControl<QPushButton>("INITB"));
    ASSERT_TRUE(boxes.shown.empty());
    demo::TCurrentWin *window = openWindow(demo::program().windows.CurrentWin);
    EXPECT_EQ(shownRows(window), "1111111100000000");
    EXPECT_TRUE(window->UpDowns[7]->isEnabled());
    EXPECT_FALSE(window->MilliAmps[5]->isVisibleTo(window));  // rows 5 to 16 show no "(mA)"

    window->Curr[5]->setText(QStringLiteral("30"));  // address 5 is row "Motor  6:"
    window->Curr[7]->setText(QStringLiteral("980"));
    sim().clearTranscript();
    click(window->SetCurr1);
    EXPECT_EQ(titles(boxes.shown),
              std::vector<QString>{QStringLiteral(" ERROR in Set Current Motor Number :5")});
    EXPECT_EQ(demo::program().RequestedCurrent[5], 30);
    // Seven addresses reach their boards; 4 to 7 through controller 5.
    const std::vector<std::string> writes = framesWithLetters(sim(), "U");
    ASSERT_EQ(writes.size(), 7u);
    EXPECT_EQ(writes.back().substr(0, 3), "_5U");
}

}  // namespace
