// SPDX-License-Identifier: MIT
// The simulated station model through the pty: motion in time, status bits, FIFO budget
// and drain, board lines, ADC, SPI and the stored program.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include "test_sim_host.h"

using namespace simtest;

namespace {

constexpr int kRunning = 1 << 3;
constexpr int kAborted = 1 << 2;
constexpr int kPaused = 1 << 1;
constexpr int kTriggered = 1 << 0;
constexpr int kReady = 1 << 7;
constexpr int kDirPlus = 1 << 8;

class SimStation : public SimHostTest {
protected:
    SimStation() : SimHostTest({0, 1, 2, 3}) {}

    // Polls the station until `done` holds; false after `timeout`.
    bool waitFor(int address, const std::function<bool(const kx4417::StationSnapshot &)> &done,
                 std::chrono::milliseconds timeout = 2s) {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            if (done(sim().station(address))) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    bool waitIdle(int address) {
        return waitFor(address, [](const auto &s) {
            return !s.running && !s.programRunning && s.fifo.empty();
        });
    }
    // Time from sending a move until the station has stopped.
    std::chrono::milliseconds timeMove(int address, const std::string &frame) {
        const auto t0 = Clock::now();
        EXPECT_EQ(host().ask(frame), kPrompt);
        EXPECT_TRUE(waitIdle(address));
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0);
    }
};

TEST_F(SimStation, MovesTakeTimeAtTheirRates) {
    ASSERT_EQ(host().ask("_0R2000"), kPrompt);
    ASSERT_EQ(host().ask("_0S0"), kPrompt);  // no ramp: 200 steps at 2000 steps/s
    auto flat = timeMove(0, "_0N200");
    EXPECT_GE(flat, 95ms);
    EXPECT_EQ(sim().station(0).position, 200);

    ASSERT_EQ(host().ask("_0F100"), kPrompt);
    ASSERT_EQ(host().ask("_0S10"), kPrompt);  // ramp from 100: about 260 ms for the same move
    auto ramped = timeMove(0, "_0N-200");
    EXPECT_GE(ramped, 240ms);
    EXPECT_GT(ramped, flat);
    EXPECT_EQ(sim().station(0).position, 0);
    EXPECT_EQ(sim().station(0).encoder, 0);
}

TEST_F(SimStation, StatusAndRefusalsWhileRunning) {
    ASSERT_EQ(host().ask("_1R100"), kPrompt);
    ASSERT_EQ(host().ask("_1S0"), kPrompt);
    ASSERT_EQ(host().ask("_1N-1000"), kPrompt);  // ten seconds
    auto status = sim().station(1).status;
    EXPECT_TRUE(status & kRunning);
    EXPECT_FALSE(status & (kReady | kDirPlus));
    EXPECT_EQ(host().ask("_1N5"), error(6));
    EXPECT_EQ(host().ask("_1T5"), error(6));
    EXPECT_EQ(host().ask("_1J"), error(6));
    EXPECT_EQ(host().ask("_1A0"), error(6));
    EXPECT_EQ(host().ask("_1+"), error(8));
    ASSERT_TRUE(waitFor(1, [](const auto &s) { return s.position <= -2; }));
    EXPECT_EQ(host().ask("_1H"), kPrompt);
    auto stopped = sim().station(1);
    EXPECT_EQ(stopped.status & (kRunning | kAborted | kReady), kAborted | kReady);
    // Positions and encoder counts are answered as 24-bit sign and magnitude.
    EXPECT_EQ(host().ask("_1P"), value(8388608 - stopped.position));
    EXPECT_EQ(host().ask("_1}-3"), kPrompt);
    EXPECT_EQ(host().ask("_1{"), value(8388611));
    EXPECT_EQ(host().ask("_1A7"), kPrompt);  // the counter moves, the encoder does not
    EXPECT_EQ(host().ask("_1P"), "\r\n7\r\n>");
    EXPECT_EQ(host().ask("_1{"), value(8388611));

    EXPECT_EQ(host().ask("_1*0"), kPrompt);
    EXPECT_EQ(host().ask("_1N5"), error(9));
    EXPECT_EQ(host().ask("_1*1"), kPrompt);
    sim().setLimitSwitch(1, false, true);
    EXPECT_EQ(host().ask("_1N5"), error(7));
    EXPECT_EQ(host().ask("_1N-5"), kPrompt);
    EXPECT_TRUE(sim().station(1).status & (1 << 5));
}

TEST_F(SimStation, JogRunsUntilStopOrLimit) {
    ASSERT_EQ(host().ask("0003Y1000"), kPrompt);
    ASSERT_EQ(host().ask("_1-"), kPrompt);
    ASSERT_EQ(host().ask("0003J"), kPrompt);
    EXPECT_TRUE(sim().station(0).jogging);
    EXPECT_TRUE(sim().station(1).jogging);
    ASSERT_TRUE(waitFor(1, [](const auto &s) { return s.position < -20; }));
    EXPECT_GT(sim().station(0).position, 20);
    sim().setLimitSwitch(0, false, true);  // station 0 runs into its CW switch
    auto s0 = sim().station(0);
    EXPECT_FALSE(s0.running);
    EXPECT_TRUE(s0.status & kAborted);
    EXPECT_EQ(host().ask("0003I"), kPrompt);  // a group soft reset
    EXPECT_FALSE(sim().station(1).running);
    EXPECT_EQ(sim().station(1).position, 0);
    EXPECT_EQ(sim().station(1).jogSpeed, 0);
}

TEST_F(SimStation, FifoBudget) {
    EXPECT_EQ(host().ask("_2]"), value(128));
    EXPECT_EQ(host().ask("_2&G"), value(127));
    EXPECT_EQ(host().ask("_2&S10"), value(125));
    int free = 125;
    for (const char *three : {"_2&W1", "_2&U1", "_2&R500", "_2&F50", "_2&D5"})
        EXPECT_EQ(host().ask(three), value(free -= 3));
    EXPECT_EQ(sim().station(2).fifoFree, 110);
    EXPECT_EQ(host().ask("_2&T40"), value(106));
    free = 106;
    while (free >= 4) EXPECT_EQ(host().ask("_2&N1"), value(free -= 4));
    EXPECT_EQ(host().ask("_2&N1"), error(3));  // 2 bytes left: a move does not fit
    EXPECT_EQ(host().ask("_2&S1"), value(0));
    EXPECT_EQ(host().ask("_2&G"), error(3));
    EXPECT_EQ(host().ask("_2]"), value(0));
    EXPECT_EQ(sim().station(2).position, 0);  // nothing runs without the FIFO mode bit
    EXPECT_EQ(host().ask("_2K"), kPrompt);
    EXPECT_EQ(host().ask("_2]"), value(128));
    EXPECT_EQ(host().ask("_2["), value(0));
}

TEST_F(SimStation, FifoDrainsInRealTime) {
    ASSERT_EQ(host().ask("_3S0"), kPrompt);
    ASSERT_EQ(host().ask("_3&R1000"), value(125));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(host().ask("_3&N100"), value(121 - 4 * i));  // 100 ms each
    ASSERT_EQ(host().ask("_3&D100"), value(110));
    ASSERT_EQ(host().ask("_3&N-50"), value(106));
    const auto t0 = Clock::now();
    ASSERT_EQ(host().ask("_3M97"), kPrompt);  // half step + FIFO profile
    EXPECT_TRUE(sim().station(3).running);
    ASSERT_TRUE(waitFor(3, [](const auto &s) { return s.fifoFree == 128; }));
    EXPECT_GE(Clock::now() - t0, 440ms);  // three moves, the wait and the last move
    EXPECT_EQ(sim().station(3).position, 250);
    EXPECT_EQ(host().ask("_3["), value(6));
    EXPECT_EQ(host().ask("_3]"), value(128));

    // H holds the rest of the profile until the mode is sent again.
    ASSERT_EQ(host().ask("_3&N100"), value(124));
    ASSERT_EQ(host().ask("_3&N100"), value(120));
    ASSERT_TRUE(waitFor(3, [](const auto &s) { return s.position > 260; }));
    ASSERT_EQ(host().ask("_3H"), kPrompt);
    std::this_thread::sleep_for(120ms);
    auto held = sim().station(3);
    EXPECT_FALSE(held.running);
    EXPECT_EQ(held.fifo, std::vector<std::string>{"N100"});
    ASSERT_EQ(host().ask("_3M97"), kPrompt);
    ASSERT_TRUE(waitIdle(3));
    EXPECT_EQ(sim().station(3).position, held.position + 100);
}

TEST_F(SimStation, BoardLinesTriggerAndPause) {
    // Board 0's byte is the last of the four: pause motor 1 (bit 5), trigger motor 0 (bit 0).
    EXPECT_EQ(host().ask("_0:$0000FFDE"), kPrompt);
    EXPECT_TRUE(sim().station(0).status & kTriggered);
    EXPECT_TRUE(sim().station(1).status & kPaused);
    EXPECT_FALSE(sim().station(2).status & (kPaused | kTriggered));

    ASSERT_EQ(host().ask("_1R1000"), kPrompt);
    ASSERT_EQ(host().ask("_1S0"), kPrompt);
    ASSERT_EQ(host().ask("_1N100"), kPrompt);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(sim().station(1).position, 1);  // paused after its first step
    EXPECT_TRUE(sim().station(1).running);

    // The master's output write carries the line byte too.
    EXPECT_EQ(host().ask("_0W5887"), kPrompt);
    EXPECT_FALSE(sim().station(1).status & kPaused);
    EXPECT_TRUE(waitIdle(1));
    EXPECT_EQ(sim().station(1).position, 100);
}

TEST_F(SimStation, AdcReadings) {
    sim().setAdcChannel(0, 3, 4000);
    EXPECT_EQ(host().ask("_0Z67"), value(4000));  // 12 bits
    EXPECT_EQ(host().ask("_0Z35"), value(1000));  // 10 bits
    EXPECT_EQ(host().ask("_0Z19"), value(250));   // 8 bits
    EXPECT_EQ(host().ask("_0Z75"), value(2048));  // half-scale reference
    EXPECT_EQ(host().ask("_0Z77"), value(4095));  // full-scale reference
    EXPECT_EQ(host().ask("_0Z3"), error(1));      // no resolution
    EXPECT_EQ(host().ask("_0Z78"), error(1));     // no channel 14
    EXPECT_EQ(host().ask("_1Z67"), error(9));     // not a master
    for (int c = 0; c < 11; ++c) sim().setAdcChannel(0, c, 400 * c);
    EXPECT_EQ(host().ask("_0<10"), "\r\n0,100,200,300,400,500,600,700,800,900,1000,\r\n>");
    EXPECT_EQ(host().ask("_0<8"), error(1));
}

TEST_F(SimStation, SpiSetsTheBoardsWindingCurrents) {
    EXPECT_EQ(host().ask("_1U5"), error(4));
    EXPECT_EQ(host().ask("_1V"), error(4));
    EXPECT_EQ(host().ask("_1O6"), kPrompt);  // bit 7 clear: an SPI slave
    EXPECT_EQ(host().ask("_1U5"), error(5));
    EXPECT_EQ(host().ask("_1O198"), kPrompt);
    EXPECT_EQ(host().ask("_1U1137"), kPrompt);  // code 113 for motor 2 of the board
    EXPECT_EQ(host().ask("_1U5"), kPrompt);     // code 5 for motor 0
    EXPECT_EQ(sim().station(2).windingCurrentCode, 113);
    EXPECT_EQ(sim().station(0).windingCurrentCode, 5);
    EXPECT_EQ(sim().station(3).windingCurrentCode, 0);
    EXPECT_EQ(host().ask("_1V"), value(5));

    sim().setUserInputs(2, 0xA5);
    EXPECT_EQ(host().ask("_2B"), value(0xA5));
    EXPECT_EQ(host().ask("_2C5632"), kPrompt);
    EXPECT_EQ(host().ask("_2W4101"), kPrompt);
    EXPECT_EQ(sim().station(2).userOutputs, 4101);
    EXPECT_EQ(sim().station(2).userIoConfig, 5632);
}

TEST_F(SimStation, StoredProgramRecordsRunsAndLoops) {
    EXPECT_EQ(host().ask("_2X"), error(9));  // nothing stored
    ASSERT_EQ(host().ask("_2E"), kPrompt);
    for (const char *step : {"R2000", "S0", "N100", "D50", "N-40"})
        EXPECT_EQ(host().ask(std::string("_2") + step), kPrompt);
    EXPECT_EQ(host().ask("_2P"), value(0));  // reads answer while recording
    auto recorded = sim().station(2);
    EXPECT_TRUE(recorded.programRecording);
    EXPECT_EQ(recorded.program, (std::vector<std::string>{"R2000", "S0", "N100", "D50", "N-40"}));
    EXPECT_EQ(recorded.slewRate, 600);  // stored, not executed

    ASSERT_EQ(host().ask("_2X"), kPrompt);
    EXPECT_TRUE(sim().station(2).programRunning);
    ASSERT_TRUE(waitIdle(2));
    EXPECT_EQ(sim().station(2).position, 60);

    ASSERT_EQ(host().ask("_2L"), kPrompt);
    ASSERT_TRUE(waitFor(2, [](const auto &s) { return s.position >= 180; }));
    EXPECT_TRUE(sim().station(2).programRunning);
    ASSERT_EQ(host().ask("_2H"), kPrompt);
    EXPECT_FALSE(sim().station(2).programRunning);
    EXPECT_FALSE(sim().station(2).running);
}

TEST_F(SimStation, SoftResetBringsBackEveryPowerOnSetting) {
    const kx4417::StationSnapshot fresh = sim().station(2);
    // The snapshot's defaults are the power-on values the model starts from.
    const kx4417::StationSnapshot defaults;
    EXPECT_EQ(fresh.mode, defaults.mode);
    EXPECT_EQ(fresh.slewRate, defaults.slewRate);
    EXPECT_EQ(fresh.firstRate, defaults.firstRate);
    EXPECT_EQ(fresh.accel, defaults.accel);
    EXPECT_EQ(fresh.directionPlus, defaults.directionPlus);
    EXPECT_EQ(fresh.jogSpeed, defaults.jogSpeed);
    EXPECT_EQ(fresh.powerOn, defaults.powerOn);

    for (const char *command :
         {"R2000", "F200", "S0", "-", "Y300", "C5", "W7", "O128", "U556", "N5"})
        ASSERT_EQ(host().ask(std::string("_1") + command), kPrompt) << command;
    ASSERT_TRUE(waitFor(1, [](const auto &s) { return !s.running; }));
    for (const char *command : {"A500", "}42", "*0"})
        ASSERT_EQ(host().ask(std::string("_1") + command), kPrompt) << command;
    ASSERT_EQ(host().ask("_1&N100"), value(124));
    ASSERT_EQ(host().ask("_1E"), kPrompt);
    ASSERT_EQ(host().ask("_1N10"), kPrompt);  // recorded, recording goes on
    sim().setUserInputs(1, 9);
    const auto changed = sim().station(1);
    ASSERT_NE(changed.slewRate, fresh.slewRate);
    ASSERT_FALSE(changed.fifo.empty());
    ASSERT_FALSE(changed.powerOn);
    ASSERT_TRUE(changed.programRecording);
    ASSERT_EQ(changed.windingCurrentCode, 44);  // U556: motor 1 of the board, code 44

    ASSERT_EQ(host().ask("_1I"), kPrompt);
    const auto reset = sim().station(1);
    EXPECT_EQ(reset.position, fresh.position);
    EXPECT_EQ(reset.encoder, fresh.encoder);
    EXPECT_EQ(reset.status, fresh.status);
    EXPECT_EQ(reset.mode, fresh.mode);
    EXPECT_EQ(reset.slewRate, fresh.slewRate);
    EXPECT_EQ(reset.firstRate, fresh.firstRate);
    EXPECT_EQ(reset.accel, fresh.accel);
    EXPECT_EQ(reset.directionPlus, fresh.directionPlus);
    EXPECT_EQ(reset.jogSpeed, fresh.jogSpeed);
    EXPECT_EQ(reset.powerOn, fresh.powerOn);
    EXPECT_EQ(reset.userIoConfig, fresh.userIoConfig);
    EXPECT_EQ(reset.userOutputs, fresh.userOutputs);
    EXPECT_EQ(reset.spiConfigured, fresh.spiConfigured);
    EXPECT_EQ(reset.spiConfig, fresh.spiConfig);
    EXPECT_EQ(reset.lastSpiWrite, fresh.lastSpiWrite);
    EXPECT_EQ(reset.fifoFree, fresh.fifoFree);
    EXPECT_EQ(reset.fifoIndex, fresh.fifoIndex);
    EXPECT_TRUE(reset.fifo.empty());
    EXPECT_FALSE(reset.programRecording);
    EXPECT_FALSE(reset.programRunning);
    EXPECT_EQ(host().ask("_1G"), error(9));  // the last N is forgotten too

    // What belongs to the board, the inputs and the stored program stay.
    EXPECT_EQ(reset.program, (std::vector<std::string>{"N10"}));
    EXPECT_EQ(reset.userInputs, 9);
    EXPECT_EQ(reset.windingCurrentCode, 44);
}

}  // namespace
