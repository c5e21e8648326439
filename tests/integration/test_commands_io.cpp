// SPDX-License-Identifier: MIT
// Trigger and pause lines, user I/O and analog inputs against the simulator.
#include <array>
#include <thread>

#include "link_fixture.h"

using namespace std::chrono_literals;
using Frames = std::vector<std::string>;

namespace {

class IoTest : public LinkTest {
protected:
    IoTest() : LinkTest({0, 1, 2, 3, 4, 5, 6, 7, 12}) {}
};

TEST_F(IoTest, TriggerAndPauseSendEveryBoardsLines) {
    EXPECT_EQ(MotorTriggerON("0"), 1);
    EXPECT_EQ(MotorTriggerON("1,5"), 1);
    EXPECT_EQ(MotorPauseON("5"), 1);
    EXPECT_EQ(frames(), (Frames{"_0:$FFFFFFFE\r", "0011:$FFFFFDFC\r", "_4:$FFFFDDFC\r"}));
    EXPECT_TRUE(sim().station(0).triggerOn);
    EXPECT_TRUE(sim().station(1).triggerOn);
    EXPECT_FALSE(sim().station(2).triggerOn);
    EXPECT_TRUE(sim().station(5).triggerOn);
    EXPECT_TRUE(sim().station(5).pauseOn);
    int32_t status = 0;
    ASSERT_EQ(MotorGetStatusRegister("5", &status), 1);
    EXPECT_EQ(status & (CORVEXLINK_STATUS_TRGD | CORVEXLINK_STATUS_PSED),
              CORVEXLINK_STATUS_TRGD | CORVEXLINK_STATUS_PSED);

    sim().clearTranscript();
    EXPECT_EQ(MotorPauseOFF("5,5"), 1);  // listed twice, changed once
    EXPECT_EQ(MotorTriggerOFF("12,13,14,15"), 1);
    EXPECT_EQ(frames(), (Frames{"_4:$FFFFFDFC\r", "_C:$FFFFFDFC\r"}));
    EXPECT_FALSE(sim().station(5).pauseOn);
}

TEST_F(IoTest, BadMotorListsSendNothing) {
    EXPECT_EQ(MotorTriggerON("1,x"), -1);
    EXPECT_EQ(MotorTriggerON("1,16"), -1);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Wrong Address in list");
    EXPECT_EQ(MotorPauseON(nullptr), -1);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(frames().empty());

    // An empty list concerns no board: the lines go to nobody and nobody answers.
    EXPECT_EQ(MotorTriggerON(""), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_EQ(frames().front(), "0000:$FFFFFFFF\r");
}

TEST_F(IoTest, UserOutputsAndTheirWord) {
    EXPECT_EQ(WriteDigitalUserIO("1", 5), 1);
    EXPECT_EQ(WriteDigitalUserIO("1,5", 5), 1);
    EXPECT_EQ(WriteDigitalUserIO("2", 5), 1);
    EXPECT_EQ(frames(), (Frames{"_1W4101\r", "0022W4101\r", "_2W5\r"}));
    EXPECT_EQ(sim().station(1).userOutputs, 4101);
    EXPECT_EQ(sim().station(5).userOutputs, 4101);
    EXPECT_EQ(sim().station(2).userOutputs, 5);

    // The winding-current write restores the word the user wrote last.
    ASSERT_EQ(ConfigureSPI("1", 198), 1);
    sim().clearTranscript();
    ASSERT_EQ(MotorSetCurrent("3", 2000), 1);
    EXPECT_EQ(frames(), (Frames{"_1U1763\r", "_1W0\r", "_1W4101\r"}));

    sim().clearTranscript();
    EXPECT_EQ(ConfigureDigitalUserIO("1,2,3", 0xFF), 1);
    EXPECT_EQ(frames(), Frames{"000EC5887\r"});
    EXPECT_EQ(sim().station(3).userIoConfig, 5887);

    EXPECT_EQ(WriteDigitalUserIO("5,4", 1), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_USER_IO_REFUSED);
    EXPECT_EQ(frames().size(), 1u);  // the refused write sent nothing
}

TEST_F(IoTest, UserInputs) {
    sim().setUserInputs(2, 0xA5);
    int32_t inputs = -1;
    EXPECT_EQ(ReadDigitalUserIO("2", &inputs), 1);
    EXPECT_EQ(inputs, 0xA5);
    EXPECT_EQ(frames(), Frames{"_2B\r"});
    sim().answerErrorCode(2, 9);
    EXPECT_EQ(ReadDigitalUserIO("2", &inputs), -1);
    EXPECT_EQ(inputs, 0xA5);  // untouched on failure
    EXPECT_EQ(ReadDigitalUserIO("ALL", &inputs), -1);
}

TEST_F(IoTest, OneAnalogChannel) {
    sim().setAdcChannel(0, 3, 1234);
    int32_t reading = -1;
    EXPECT_EQ(GetADCchannel("0", 12, 3, &reading), 1);
    EXPECT_EQ(reading, 1234);
    EXPECT_EQ(frames(), (Frames{"_0W4095\r", "_0Z67\r", "_0W8191\r"}));

    // The board's trigger line is kept around the reading.
    ASSERT_EQ(MotorTriggerON("0"), 1);
    sim().clearTranscript();
    EXPECT_EQ(GetADCchannel("0", 10, 13, &reading), 1);
    EXPECT_EQ(reading, 1023);  // the full-scale reference at 10 bits
    EXPECT_EQ(frames(), (Frames{"_0W4094\r", "_0Z45\r", "_0W8190\r"}));
    EXPECT_TRUE(sim().station(0).triggerOn);

    sim().clearTranscript();
    EXPECT_EQ(GetADCchannel("4", 8, 3, &reading), 1);
    EXPECT_EQ(frames()[1], "_4Z19\r");

    // A failed conversion: the reading stays 0 and the closing write is not sent.
    sim().clearTranscript();
    reading = 5;
    EXPECT_EQ(GetADCchannel("1", 12, 3, &reading), -1);
    EXPECT_TRUE(frames().empty());
    EXPECT_EQ(GetADCchannel("0", 12, 15, &reading), -1);
    EXPECT_EQ(reading, 0);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OUT_OF_RANGE);
    EXPECT_EQ(frames(), (Frames{"_0W4094\r", "_0Z79\r"}));
}

TEST_F(IoTest, AllAnalogChannels) {
    for (int channel = 0; channel < 11; ++channel)
        sim().setAdcChannel(4, channel, 100 * channel + 4);
    std::array<int32_t, 13> values;
    values.fill(-7);
    ASSERT_EQ(ZelmarGetValue(), 0);
    EXPECT_EQ(ReadAllChannelsADC("4", 12, values.data()), 1);
    EXPECT_EQ(frames(), Frames{"_4<12\r"});
    for (int channel = 0; channel < 11; ++channel)
        EXPECT_EQ(values[channel], 100 * channel + 4) << channel;
    EXPECT_EQ(values[11], -7);
    EXPECT_EQ(ZelmarGetValue(), 0);  // the answer is not taken as a value

    EXPECT_EQ(ReadAllChannelsADC("4", 10, values.data()), 1);
    EXPECT_EQ(values[10], 1004 >> 2);
}

TEST_F(IoTest, AllAnalogChannelsTakeOnlyWhatIsAnswered) {
    std::array<int32_t, 13> values;
    values.fill(-7);
    sim().scriptNextAnswer({"\r\n10,20,30,\r\n>"}, 0ms);
    EXPECT_EQ(ReadAllChannelsADC("0", 12, values.data()), 1);
    EXPECT_EQ(values[0], 10);
    EXPECT_EQ(values[2], 30);
    EXPECT_EQ(values[3], -7);
    EXPECT_EQ(values[10], -7);

    // An answer with more numbers than channels fills eleven and no more.
    std::string many = "\r\n";
    for (int i = 1; i <= 15; ++i) many += std::to_string(i) + ",";
    sim().scriptNextAnswer({many + "\r\n>"}, 0ms);
    EXPECT_EQ(ReadAllChannelsADC("0", 12, values.data()), 1);
    EXPECT_EQ(values[10], 11);
    EXPECT_EQ(values[11], -7);
    EXPECT_EQ(values[12], -7);

    sim().answerErrorCode(0, 9);
    EXPECT_EQ(ReadAllChannelsADC("0", 12, values.data()), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_CANNOT_EXECUTE);
    EXPECT_FALSE(corvex::test::line().suppressValue);
    int32_t reading = 0;
    ASSERT_EQ(MotorGetStatusRegister("0", &reading), 1);
    EXPECT_EQ(ZelmarGetValue(), reading);  // values are taken again afterwards
}

// A reading answered by a bare prompt carries no value: it fails with its own error and
// never hands over the number of an earlier answer (another station's, here).
TEST_F(IoTest, ReadingsAnsweredWithoutANumberFail) {
    ASSERT_EQ(MotorSetPosition("0", 777), 1);
    int32_t position = 0;
    ASSERT_EQ(MotorGetPosition("0", &position), 1);
    ASSERT_EQ(position, 777);

    const auto bare = [this] { sim().scriptNextAnswer({"\r\n>"}, 0ms); };
    bare();
    position = 5;
    EXPECT_EQ(MotorGetPosition("1", &position), -1);
    EXPECT_EQ(position, 0);  // set to 0 first, as a failed position read leaves it
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_VALUE);
    EXPECT_EQ(std::string(ZelmarGetErrorMessage()),
              "No value in the answer (command = _1P, answer = \r\n>)");
    EXPECT_EQ(ZelmarGetValue(), 777);  // the raw transaction's last value stays

    int32_t spi = -3;  // a failed SPI read leaves its out-parameter alone
    bare();
    EXPECT_EQ(ReadSPI("1", &spi), -1);
    EXPECT_EQ(spi, -3);
    bare();
    EXPECT_EQ(WriteCommandtoKX4417("_1P"), 1);  // the raw command keeps its behaviour
    EXPECT_EQ(ZelmarGetValue(), 777);
}

}  // namespace
