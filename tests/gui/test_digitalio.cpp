// The digital I/O window against the simulator: the configure byte of each port from the
// check boxes, writing and the masked read of the selected port.
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "digitalio.h"
#include "gui_fixture.h"
#include "radio_group.h"
#include "test_device_windows.h"

using namespace guitest;

namespace {

class DigitalIoWindow : public GuiTestWith<0, 1, 2, 3, 4, 5, 6, 7> {
protected:
    // The user I/O frames: configure (C), write (W), read (B).
    std::vector<std::string> userIoFrames() { return framesWithLetters(sim(), "CWB"); }
};

TEST_F(DigitalIoWindow, OpensWithItsTextsAndUncheckedLines) {
    demo::TForm5 *window = openWindow(demo::program().windows.Form5);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("     Setup  Digital  IO"));
    EXPECT_EQ(window->ConFDIO->title(),
              QStringLiteral("Configuration Digitals IO  ( Checked \"x\"  USER/IO Configured  as \"OUTPUT\")   "));
    EXPECT_EQ(window->PortGroup[1]->objectName(), QStringLiteral("GroupBox3"));
    auto *line = child<QCheckBox>(window, "USR_27");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("USER2_7"));
    for (const auto &port : window->USR)
        for (const QCheckBox *box : port) EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_EQ(window->NumberS1->itemIndex(), 0);
    EXPECT_EQ(window->SPORT->currentItem()->text(), QStringLiteral("PORT1"));
    EXPECT_EQ(window->WRIO1->text(), QStringLiteral("0"));
    EXPECT_EQ(window->WRIO1->maxLength(), 5);
}

TEST_F(DigitalIoWindow, ConfigureSendsOneByteToEachPortOfTheStation) {
    openPortFromMainWindow();
    demo::TForm5 *window = openWindow(demo::program().windows.Form5);
    pick(window->NumberS1->item(1));  // station 2: addresses 5, 6, 7
    click(child<QCheckBox>(window, "USR_10"));
    click(child<QCheckBox>(window, "USR_27"));
    sim().clearTranscript();

    click(window->ConfDig1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(window->PortAddress[2], QStringLiteral("7"));
    const std::vector<std::string> sentByWindow = userIoFrames();
    ASSERT_EQ(sentByWindow.size(), 3u);

    // The same three calls made directly send the same frames.
    sim().clearTranscript();
    ASSERT_EQ(ConfigureDigitalUserIO("5", 1), 1);
    ASSERT_EQ(ConfigureDigitalUserIO("6", 128), 1);
    ASSERT_EQ(ConfigureDigitalUserIO("7", 0), 1);
    EXPECT_EQ(sentByWindow, userIoFrames());
    EXPECT_EQ(sentByWindow[1], "_6C128");
    EXPECT_EQ(sentByWindow[2], "_7C0");
}

TEST_F(DigitalIoWindow, AFailedPortDoesNotStopTheOthers) {
    openPortFromMainWindow();
    demo::TForm5 *window = openWindow(demo::program().windows.Form5);
    click(child<QCheckBox>(window, "USR_35"));
    sim().setSilent(2, true);
    sim().clearTranscript();
    click(window->ConfDig1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Error Message Configure Port 2"));
    EXPECT_EQ(sim().station(3).userIoConfig, 32);
}

TEST_F(DigitalIoWindow, WritePassesTheNumberUncheckedToTheSelectedPort) {
    openPortFromMainWindow();
    demo::TForm5 *window = openWindow(demo::program().windows.Form5);
    window->WRIO1->setText(QStringLiteral("77 volts"));
    window->SPORT->setCurrentRow(2);
    sim().clearTranscript();
    click(window->MDWRIO1);
    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_FALSE(userIoFrames().empty());
    EXPECT_EQ(userIoFrames().back().substr(0, 2), "_3");

    // 300 is beyond the range the label names; the window leaves the check to the library.
    window->WRIO1->setText(QStringLiteral("300"));
    window->SPORT->setCurrentRow(0);
    click(window->MDWRIO1);
    std::vector<demo::ShownBox> refused = boxes.shown;
    const int library = WriteDigitalUserIO("1", 300);
    EXPECT_EQ(refused.empty(), library == 1);
    if (!refused.empty()) {
        EXPECT_EQ(refused[0].title, QStringLiteral("Error Message in Writing the value to the Port "));
        EXPECT_EQ(refused[0].text, QString::fromLocal8Bit(ZelmarGetErrorMessage()));
    }
}

TEST_F(DigitalIoWindow, ReadShowsTheLowByteOfTheSelectedPort) {
    openPortFromMainWindow();
    sim().setUserInputs(6, 0x1A5);
    demo::TForm5 *window = openWindow(demo::program().windows.Form5);
    pick(window->NumberS1->item(1));
    window->SPORT->setCurrentRow(1);  // station 2, port 2: address 6
    click(window->RDPORT1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(window->RDP1->text(), QStringLiteral("165"));

    sim().setSilent(6, true);
    click(window->RDPORT1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Error Message in Reading Port "));
    EXPECT_EQ(window->RDP1->text(), QStringLiteral("0"));
}

TEST_F(DigitalIoWindow, NoSelectedPortIsRefusedBeforeAnythingIsSent) {
    openPortFromMainWindow();
    demo::TForm5 *window = openWindow(demo::program().windows.Form5);
    window->SPORT->clearSelection();
    window->SPORT->setCurrentRow(-1);
    sim().clearTranscript();
    click(window->MDWRIO1);
    click(window->RDPORT1);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Error Message in Writing the value to the Port "));
    EXPECT_EQ(boxes.shown[1].title, QStringLiteral("Error Message in Reading Port "));
    EXPECT_TRUE(sim().frameTexts().empty());
}

}  // namespace
