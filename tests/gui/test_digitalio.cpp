// SPDX-License-Identifier: MIT
// The digital I/O window against the simulator: the configure byte of each port from the
// check boxes, writing and the masked read of the selected port.
#include <tuple>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "digital_io_window.h"
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
    // Each write goes out as the library sends the same call made directly: the leading
    // number of the field, also beyond the range its label names, to the selected port.
    const std::vector<std::tuple<QString, int, const char *, int>> writes{
        {QStringLiteral("77 volts"), 2, "3", 77}, {QStringLiteral("300"), 0, "1", 300}};
    for (const auto &[text, row, address, value] : writes) {
        window->WRIO1->setText(text);
        window->SPORT->setCurrentRow(row);
        sim().clearTranscript();
        click(window->MDWRIO1);
        const std::vector<std::string> sentByWindow = userIoFrames();
        const std::size_t boxesByWindow = boxes.shown.size();

        sim().clearTranscript();
        const int result = WriteDigitalUserIO(address, value);
        EXPECT_EQ(sentByWindow, userIoFrames()) << address;
        EXPECT_FALSE(sentByWindow.empty()) << address;
        EXPECT_EQ(boxesByWindow, result == 1 ? 0u : 1u) << address;
        boxes.shown.clear();
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
    EXPECT_EQ(boxes.shown[0].title,
              QStringLiteral("Error Message in Writing the value to the Port "));
    EXPECT_EQ(boxes.shown[1].title, QStringLiteral("Error Message in Reading Port "));
    EXPECT_TRUE(sim().frameTexts().empty());
}

}  // namespace
