// SPDX-License-Identifier: MIT
// Motion, position, current and SPI exports against the simulator: the exact frames on
// the line, the answers they get and the station state they leave.
#include <functional>
#include <thread>

#include "link_fixture.h"

using namespace std::chrono_literals;
using Frames = std::vector<std::string>;

namespace {

class MotionTest : public LinkTest {
protected:
    MotionTest() : LinkTest({0, 1, 2, 3, 4, 5, 6, 7, 10}) {}

    // Polls the station until `done` holds or about two seconds have passed.
    bool waitFor(int address, const std::function<bool(const kx4417::StationSnapshot &)> &done) {
        for (int i = 0; i < 200; ++i) {
            if (done(sim().station(address))) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
};

struct Case {
    const char *name;
    std::function<int()> call;
    Frames frames;
};

TEST_F(MotionTest, EachExportSendsItsFrame) {
    int32_t value = 0;
    const Case cases[] = {
        {"slew rate", [] { return MotorSlewRate("3", 600); }, {"_3R600\r"}},
        {"stop", [] { return MotorStop("10"); }, {"_AH\r"}},
        {"first rate", [] { return MotorFirstRate("3", 100); }, {"_3F100\r"}},
        {"accel", [] { return MotorAccelDecel("3", 50); }, {"_3S50\r"}},
        {"speed",
         [] { return MotorSpeed("3", 700, 120, 60); },
         {"_3R700\r", "_3F120\r", "_3S60\r"}},
        {"mode", [] { return MotorConfigureMode("2", 33 | 0x40); }, {"_2M97\r"}},
        {"direction -", [] { return MotorDirection("3", 0); }, {"_3-\r"}},
        {"direction +", [] { return MotorDirection("3", 5); }, {"_3+\r"}},
        {"jog speed", [] { return MotorChangeJogSpeed("all", 500); }, {"FFFFY500\r"}},
        {"set position", [] { return MotorSetPosition("0", -5); }, {"_0A-5\r"}},
        {"encoder fails", [] { return MotorEncoderFailsStep("0", 12); }, {"_0#12\r"}},
        {"set encoder", [] { return EncoderSetPosition("0", -7); }, {"_0}-7\r"}},
        {"position", [&] { return MotorGetPosition("0", &value); }, {"_0P\r"}},
        {"encoder", [&] { return EncoderGetPosition("0", &value); }, {"_0{\r"}},
        {"status", [&] { return MotorGetStatusRegister("0", &value); }, {"_0=\r"}},
        {"power off", [] { return MotorPowerOFF("2"); }, {"_2*0\r"}},
        {"power on", [] { return MotorPowerON("0,2", 1); }, {"0005*1\r"}},
        {"soft reset", [] { return MotorSoftReset("0,1,"); }, {"0003I\r"}},
        {"spi config", [] { return ConfigureSPI("1", 198); }, {"_1O198\r"}},
        {"spi write", [] { return WriteSPI("1", 0x2A5); }, {"_1U677\r"}},
        {"spi read", [&] { return ReadSPI("1", &value); }, {"_1V\r"}},
        {"relative", [] { return MotorNumberStepRel("1", -20); }, {"_1N-20\r"}},
        {"absolute", [] { return MotorGoAbsPos("2", 20); }, {"_2T20\r"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim().clearTranscript();
        EXPECT_EQ(c.call(), 1) << ZelmarGetErrorMessage();
        EXPECT_EQ(frames(), c.frames);
    }
    EXPECT_EQ(value, 0x2A5);  // the SPI read gives back the value written
    EXPECT_EQ(GetMotorDirection("3"), 1);
    EXPECT_TRUE(waitFor(1, [](const auto &s) { return !s.running; }));
    EXPECT_EQ(sim().station(1).position, -20);
    EXPECT_TRUE(waitFor(2, [](const auto &s) { return !s.running; }));
    sim().clearTranscript();
    EXPECT_EQ(MotorRepeat("1"), 1);
    EXPECT_EQ(frames(), Frames{"_1G\r"});
    EXPECT_TRUE(waitFor(1, [](const auto &s) { return !s.running && s.position == -40; }));
}

TEST_F(MotionTest, RefusedValuesSendNothing) {
    EXPECT_EQ(MotorSlewRate("3", 15), -1);
    EXPECT_EQ(MotorSlewRate("3", 8501), -1);
    EXPECT_EQ(MotorFirstRate("3", 8501), -1);
    EXPECT_EQ(MotorAccelDecel("3", 256), -1);
    EXPECT_EQ(MotorSetCurrent("3", 49), -1);
    EXPECT_EQ(MotorStop("1,2"), -1);
    EXPECT_EQ(MotorStop("16"), -1);
    EXPECT_EQ(MotorGetPosition("0", nullptr), -1);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(frames().empty());

    EXPECT_EQ(MotorSlewRate("3", 16), 1);
    EXPECT_EQ(MotorSlewRate("3", 8500), 1);
    EXPECT_EQ(MotorAccelDecel("3", 0), 1);
    EXPECT_EQ(MotorAccelDecel("3", 255), 1);
    EXPECT_EQ(frames(), (Frames{"_3R16\r", "_3R8500\r", "_3S0\r", "_3S255\r"}));
    EXPECT_EQ(sim().station(3).slewRate, 8500);
}

TEST_F(MotionTest, JogAGroupThenStopEach) {
    ASSERT_EQ(MotorDirection("0", 0), 1);
    sim().clearTranscript();
    EXPECT_EQ(MotorJog("0,1", 1), 1);
    EXPECT_EQ(frames(), (Frames{"0003+\r", "0003J\r"}));
    EXPECT_TRUE(sim().station(0).jogging);
    EXPECT_TRUE(sim().station(1).jogging);
    EXPECT_EQ(GetMotorDirection("0"), 0);  // a jog sets no direction
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(MotorStop("0"), 1);
    EXPECT_EQ(MotorStop("1"), 1);
    EXPECT_FALSE(sim().station(0).running);
    EXPECT_GT(sim().station(1).position, 0);

    sim().clearTranscript();
    EXPECT_EQ(MotorJog("ALL", 0), 1);
    EXPECT_EQ(frames(), (Frames{"FFFF-\r", "FFFFJ\r"}));
    EXPECT_EQ(MotorSoftReset("ALL"), 1);
    EXPECT_FALSE(sim().station(7).running);
}

TEST_F(MotionTest, PositionsAreSignConverted) {
    int32_t position = 99;
    sim().setPositionRaw(0, 8388609);
    EXPECT_EQ(MotorGetPosition("0", &position), 1);
    EXPECT_EQ(position, -1);
    sim().setPositionRaw(0, 8388608);
    EXPECT_EQ(MotorGetPosition("0", &position), 1);
    EXPECT_EQ(position, 8388608);
    sim().setPositionRaw(0, -1);

    // A real move backwards, read through both counters while and after it runs.
    ASSERT_EQ(MotorSpeed("0", 2000, 500, 0), 1);
    ASSERT_EQ(MotorNumberStepRel("0", -1000), 1);
    int32_t status = 0;
    EXPECT_EQ(MotorGetStatusRegister("0", &status), 1);
    EXPECT_NE(status & CORVEXLINK_STATUS_RUNING, 0);
    EXPECT_EQ(status & CORVEXLINK_STATUS_DIR, 0);
    EXPECT_TRUE(waitFor(0, [](const auto &s) { return !s.running; }));
    EXPECT_EQ(MotorGetPosition("0", &position), 1);
    EXPECT_EQ(position, -1000);
    int32_t encoder = 0;
    EXPECT_EQ(EncoderGetPosition("0", &encoder), 1);
    EXPECT_EQ(encoder, -1000);
    EXPECT_EQ(MotorGetStatusRegister("0", &status), 1);
    EXPECT_EQ(status & CORVEXLINK_STATUS_RUNING, 0);
}

TEST_F(MotionTest, SetCurrentWritesTheDacAndRestoresTheOutputWord) {
    // Before the board's SPI is configured the station refuses the write, and nothing
    // else is sent.
    EXPECT_EQ(MotorSetCurrent("6", 1000), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_SPI_NOT_CONFIGURED);
    EXPECT_EQ(frames(), Frames{"_5U1137\r"});

    ASSERT_EQ(ConfigureSPI("5", 198), 1);
    sim().clearTranscript();
    EXPECT_EQ(MotorSetCurrent("6", 1000), 1);
    EXPECT_EQ(frames(), (Frames{"_5U1137\r", "_5W0\r", "_5W4096\r"}));
    EXPECT_EQ(sim().station(6).windingCurrentCode, 113);
    EXPECT_EQ(sim().station(5).userOutputs, 4096);

    sim().clearTranscript();
    EXPECT_EQ(MotorSetCurrent("4", 50), 1);
    EXPECT_EQ(frames().front(), "_5U5\r");
    EXPECT_EQ(sim().station(4).windingCurrentCode, 5);
}

TEST_F(MotionTest, FailuresKeepTheTransactionsError) {
    sim().answerErrorCode(3, 1);
    EXPECT_EQ(MotorSpeed("3", 700, 120, 60), -1);
    EXPECT_EQ(frames(), Frames{"_3R700\r"});  // the first failure ends the call
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OUT_OF_RANGE);
    EXPECT_STREQ(ZelmarGetErrorMessage(),
                 "Parameters out of Range (command = _3R700, answer = ?1\r\n>");

    int32_t status = 55;
    sim().answerErrorCode(2, 9);
    EXPECT_EQ(MotorGetStatusRegister("2", &status), -1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_CANNOT_EXECUTE);

    // A station that is not there: one repetition, then the time-out.
    sim().clearTranscript();
    EXPECT_EQ(MotorStop("9"), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_EQ(frames(), (Frames{"_9H\r", "\r", "_9H\r"}));
}

}  // namespace
