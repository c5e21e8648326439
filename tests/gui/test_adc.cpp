// SPDX-License-Identifier: MIT
// The ADC window against the simulator: one channel, all eleven, and the resolution and
// channel that the program keeps across windows.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "adc_window.h"
#include "gui_fixture.h"
#include "radio_group.h"
#include "test_device_windows.h"

using namespace guitest;

namespace {

class AdcWindow : public GuiTest {
protected:
    // The conversion frames: one channel (Z) or all (<).
    std::vector<std::string> conversions() { return framesWithLetters(sim(), "Z<"); }
};

TEST_F(AdcWindow, AllChannelsEndWithACommaAndEmptyTheSingleValue) {
    openPortFromMainWindow();
    const int values[11] = {0, 12, 255, 3, 4095, 7, 100, 1, 2048, 9, 1023};
    for (int c = 0; c < 11; ++c) sim().setAdcChannel(0, c, values[c]);
    demo::TADC *window = openWindow(demo::program().windows.ADC);
    pick(window->ADReso1->item(2));  // 12 bits: the values as the converter holds them
    sim().clearTranscript();

    click(window->RaddAll);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(conversions(), std::vector<std::string>{"_0<12"});
    EXPECT_EQ(window->Memo2->toPlainText(), QStringLiteral("0,12,255,3,4095,7,100,1,2048,9,1023,"));
    EXPECT_TRUE(window->Memo1->toPlainText().isEmpty());
}

TEST_F(AdcWindow, ResolutionAndChannelOutliveTheWindowWhileANewOneShowsTheDefaults) {
    openPortFromMainWindow();
    sim().setAdcChannel(0, 3, 2000);
    demo::TADC *first = openWindow(demo::program().windows.ADC);
    pick(first->ADReso1->item(0));      // "8"
    pick(first->ChannelsAD1->item(3));  // "3"
    click(first->BitBtn2);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(demo::program().AdcResolution, 8);
    EXPECT_EQ(demo::program().AdcChannel, 3);

    demo::TADC *second = openWindow(demo::program().windows.ADC);
    EXPECT_EQ(second->ADReso1->itemIndex(), 1);
    EXPECT_EQ(second->ChannelsAD1->itemIndex(), 13);
    EXPECT_EQ(second->MasterAddress, QStringLiteral("0"));
    sim().clearTranscript();
    click(second->READADC1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(conversions(), std::vector<std::string>{"_0Z19"});  // channel 3 | 8 bits
    std::int32_t expected = -1;
    ASSERT_EQ(GetADCchannel("0", 8, 3, &expected), 1);
    EXPECT_EQ(second->Memo1->toPlainText(), QString::number(expected));
    EXPECT_NE(expected, 0);
}

TEST_F(AdcWindow, AFailedReadShowsTheBoxAndKeepsTheValue) {
    openPortFromMainWindow();
    demo::TADC *window = openWindow(demo::program().windows.ADC);
    pick(window->MCAdd1->item(1));  // "4": no board there
    EXPECT_EQ(window->MasterAddress, QStringLiteral("4"));
    click(window->READADC1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Error Message Motor 1"));
    EXPECT_EQ(boxes.shown[0].text, QString::fromLocal8Bit(ZelmarGetErrorMessage()));
    EXPECT_EQ(window->Memo1->toPlainText(), QStringLiteral("0"));
}

}  // namespace
