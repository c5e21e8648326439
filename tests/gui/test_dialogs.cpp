// SPDX-License-Identifier: MIT
// The address dialog Form3 and the baud-rate dialog Form4 against the simulator.
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "gui_fixture.h"
#include "pictures.h"
#include "radio_group.h"

using namespace guitest;

namespace {

QString showButtons(QWidget *dialog) {
    QString states;
    for (const char *name : {"Set1", "Set2", "Set3", "Set4"})
        states += child<QPushButton>(dialog, name)->isEnabled() ? '1' : '0';
    return states;
}

// Which switch positions the picture shows up (on), as a text of '1' (up) and '0' (down),
// read from the pixels: the knob is the light half of each slot.
QString switchesUp(const QLabel *picture) {
    const QImage image = picture->pixmap().toImage();
    EXPECT_EQ(image.size(), QSize(demo::kSwitchPictureWidth, demo::kSwitchPictureHeight));
    QString positions;
    for (int k = 1; k <= 4; ++k) {
        const QRect slot = demo::switchSlot(k);
        const QRgb upper = image.pixel(slot.center().x(), slot.top() + slot.height() / 4);
        const QRgb lower = image.pixel(slot.center().x(), slot.bottom() - slot.height() / 4);
        EXPECT_NE(upper == demo::kSwitchKnobColour, lower == demo::kSwitchKnobColour)
            << "position " << k;
        positions += upper == demo::kSwitchKnobColour ? '1' : '0';
    }
    return positions;
}

// The text results of one verified board, with its number.
struct BoardResult {
    QString station;
    QStringList results;
    QString boxText;
};

}  // namespace

TEST_F(GuiTest, TheBoardCountEnablesTheShowButtonsAndIsKeptBetweenOpenings) {
    withModal([this] { form1()->AddressSetting1->trigger(); },
              [](QWidget *dialog) {
                  EXPECT_EQ(dialog->windowTitle(), QStringLiteral(" Setup Network Address"));
                  auto *boards = child<demo::RadioGroup>(dialog, "Station1");
                  EXPECT_EQ(boards->itemIndex(), 0);
                  EXPECT_EQ(showButtons(dialog), QStringLiteral("1000"));
                  click(boards->item(2));
                  EXPECT_EQ(boards->item(2)->text(), QStringLiteral("\"THREE\" "));
                  EXPECT_EQ(showButtons(dialog), QStringLiteral("1110"));
                  click(boards->item(3));
                  EXPECT_EQ(showButtons(dialog), QStringLiteral("1111"));
                  click(boards->item(2));
              });
    EXPECT_EQ(demo::program().StationCount, 2);

    withModal([this] { form1()->AddressSetting1->trigger(); },
              [](QWidget *dialog) {
                  EXPECT_EQ(child<demo::RadioGroup>(dialog, "Station1")->itemIndex(), 2);
                  EXPECT_EQ(showButtons(dialog), QStringLiteral("1110"));
              });
}

TEST_F(GuiTest, ShowSecondDrawsTheSwitchesOfAddressesFourToSeven) {
    withModal([this] { form1()->AddressSetting1->trigger(); },
              [](QWidget *dialog) {
                  click(child<demo::RadioGroup>(dialog, "Station1")->item(1));
                  click(child<QPushButton>(dialog, "Set2"));
                  // A position is down (off) where the address has a 1 bit: 4 = 0100, 5 = 0101, ...
                  EXPECT_EQ(switchesUp(child<QLabel>(dialog, "s1")), QStringLiteral("1101"));
                  EXPECT_EQ(switchesUp(child<QLabel>(dialog, "s2")), QStringLiteral("0101"));
                  EXPECT_EQ(switchesUp(child<QLabel>(dialog, "s3")), QStringLiteral("1001"));
                  EXPECT_EQ(switchesUp(child<QLabel>(dialog, "s4")), QStringLiteral("0001"));
                  click(child<QPushButton>(dialog, "Set1"));
                  EXPECT_EQ(switchesUp(child<QLabel>(dialog, "s1")), QStringLiteral("1111"));
                  EXPECT_EQ(switchesUp(child<QLabel>(dialog, "s4")), QStringLiteral("0011"));
              });
    // The ground is red.
    EXPECT_GT(QColor(demo::switchPicture(15).toImage().pixel(1, 1)).red(), 150);
}

class VerifyTest : public GuiTestWith<0, 1, 2, 3, 5> {};

TEST_F(VerifyTest, VerifyingTwoBoardsReportsEachBoardAndRecordsTheAnsweringAddresses) {
    sim().setSilent(5, true);  // not found by the scan, so motor 6 stays disabled
    openPortFromMainWindow();
    sim().setSilent(5, false);
    ASSERT_EQ(motorButtons(), "11110000");

    std::vector<BoardResult> reported;
    withModal(mainControl<QToolButton>("Maddr"), [&](QWidget *dialog) {
        click(child<demo::RadioGroup>(dialog, "Station1")->item(1));
        boxes.onShow = [&](const demo::ShownBox &box) {
            BoardResult board{child<QLabel>(dialog, "St1")->text(), {}, box.text};
            for (const char *name : {"SU13", "SU14", "SU16", "SU17"})
                board.results << child<QLabel>(dialog, name)->text();
            reported.push_back(board);
            EXPECT_EQ(box.title, QStringLiteral(" Verifaying the Address from the Corvex-B board"));
            EXPECT_EQ(box.icon, demo::BoxIcon::None);
        };
        click(child<QPushButton>(dialog, "VerifyAddr"));

        // A later verification that no longer finds 5 keeps it recorded.
        sim().setSilent(5, true);
        click(child<QPushButton>(dialog, "VerifyAddr"));
    });
    boxes.onShow = nullptr;

    ASSERT_EQ(reported.size(), 4u);
    EXPECT_EQ(reported[0].station, QStringLiteral("1"));
    EXPECT_EQ(reported[0].results, QStringList({"FOUND", "FOUND", "FOUND", "FOUND"}));
    EXPECT_EQ(reported[0].boxText, QStringLiteral(" Done Station :1"));
    EXPECT_EQ(reported[1].station, QStringLiteral("2"));
    EXPECT_EQ(reported[1].results, QStringList({"NOT FOUND", "FOUND", "NOT FOUND", "NOT FOUND"}));
    EXPECT_EQ(reported[1].boxText, QStringLiteral(" Done Station :2"));
    EXPECT_EQ(reported[3].results,
              QStringList({"NOT FOUND", "NOT FOUND", "NOT FOUND", "NOT FOUND"}));
    EXPECT_EQ(boxes.beeps, (std::vector<std::pair<int, int>>(4, {1000, 50})));

    const auto &found = demo::program().AddrFound;
    for (int a = 0; a < 16; ++a) EXPECT_EQ(found[a], (a < 4 || a == 5) ? a : -1) << a;
    EXPECT_EQ(motorButtons(), "11110000") << "the verification changed a motor button";
}

TEST_F(GuiTest, ChangingTheRateMovesTheStationsAndRewritesTheConnectionBar) {
    openPortFromMainWindow();
    withModal(mainControl<QToolButton>("MChangeSP"), [this](QWidget *dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Change  Baud Rate Host and all Stations"));
        auto *rates = child<demo::RadioGroup>(dialog, "CBRate");
        EXPECT_EQ(rates->itemIndex(), 0);
        clickItem(rates, 1);
        click(child<QPushButton>(dialog, "DOCBRate"));
        EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open after a change";

        // A station that does not follow makes the change fail; the bar keeps its text.
        sim().setSilent(2, true);
        clickItem(rates, 0);
        click(child<QPushButton>(dialog, "DOCBRate"));
    });

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral(" ERROR in Changing the Baud Rate "));
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("Can Not Change the Baud Rate to the Address : 2"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Opened at: 19200"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->palette().color(QPalette::Window), QColor(0, 128, 0));
    for (int a : {0, 1, 3}) EXPECT_EQ(sim().stationBaudRate(a), 9600) << a;
    EXPECT_EQ(sim().stationBaudRate(2), 19200);
}

class FastLineTest : public GuiTest {
protected:
    FastLineTest() : GuiTest({0, 1, 2, 3}, 115200) {}
};

TEST_F(FastLineTest, AtOneHundredFifteenThousandTheDialogOffersThirtyEightThousandFourHundred) {
    openPortFromMainWindow(4);
    ASSERT_EQ(mainControl<QLabel>("MBMotorConn")->text(),
              QStringLiteral("0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N"));
    withModal(mainControl<QToolButton>("MChangeSP"), [](QWidget *dialog) {
        EXPECT_EQ(child<demo::RadioGroup>(dialog, "CBRate")->itemIndex(), 2);
        click(child<QPushButton>(dialog, "DOCBRate"));
    });
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text.toStdString();
    EXPECT_EQ(sim().hostBaudRate(), 38400);
    for (int a = 0; a < 4; ++a) EXPECT_EQ(sim().stationBaudRate(a), 38400) << a;
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Opened at: 38400"));
}
