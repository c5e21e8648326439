// SPDX-License-Identifier: MIT
// Queued commands, the wait for FIFO room, and the stored program, against the simulator.
#include <algorithm>
#include <thread>

#include "link_fixture.h"
#include "tap_device.h"

using namespace std::chrono_literals;
using Frames = std::vector<std::string>;

namespace {

constexpr int kFifoBytes = 128;  // the simulated station's FIFO

class FifoTest : public LinkTest {
protected:
    // Queues `count` relative moves of `steps` (4 bytes each) on station 0; the free room
    // each answer reports must shrink by 4.
    void queueMoves(int count, int32_t steps) {
        for (int i = 0; i < count; ++i) {
            int32_t room = -1;
            const int32_t before = sim().station(0).fifoFree;
            ASSERT_EQ(FIFOMotorNumberStepRel("0", steps, &room), 1)
                << i << ": " << ZelmarGetErrorMessage();
            ASSERT_EQ(room, before - 4) << i;
        }
    }
    long countFrames(const std::string &frame) {
        const Frames sent = frames();
        return std::count(sent.begin(), sent.end(), frame);
    }
};

TEST_F(FifoTest, EachQueuedCommandSendsItsFrameAndReportsTheRoom) {
    ASSERT_EQ(ConfigureSPI("1", 198), 1);
    sim().clearTranscript();
    int32_t room = -1;
    EXPECT_EQ(FIFOMotorSlewRate("0", 600, &room), 1);
    EXPECT_EQ(room, kFifoBytes - 3);
    EXPECT_EQ(FIFOMotorFirstRate("0", 100, &room), 1);
    EXPECT_EQ(FIFOMotorSlope("0", 255, &room), 1);
    EXPECT_EQ(FIFOMotorSlope("0", 0, &room), 1);
    EXPECT_EQ(FIFOMotorSlope("0", 200, &room), 1);
    EXPECT_EQ(FIFOMotorSlope("0", -1, &room), 1);
    EXPECT_EQ(FIFOMotorGoAbsPos("0", -5, &room), 1);
    EXPECT_EQ(FIFOMotorRepeat("0", &room), 1);
    EXPECT_EQ(FIFOMotorWait("0", 20, &room), 1);
    EXPECT_EQ(room, kFifoBytes - 3 - 3 - 4 * 2 - 4 - 1 - 3);
    EXPECT_EQ(FIFOWriteSPI("1", 0x2A5, &room), 1);
    EXPECT_EQ(FIFOWriteUserIO("1", 5, &room), 1);
    EXPECT_EQ(room, kFifoBytes - 6);
    EXPECT_EQ(frames(),
              (Frames{"_0&R600\r", "_0&F100\r", "_0&S255\r", "_0&S0\r", "_0&S200\r", "_0&S255\r",
                      "_0&T-5\r", "_0&G\r", "_0&D20\r", "_1&U677\r", "_1&W4101\r"}));
    EXPECT_EQ(sim().station(0).fifo.size(), 9u);

    int32_t free = -1;
    EXPECT_EQ(FIFOGetRemainingBytes("0", &free), 1);
    EXPECT_EQ(free, sim().station(0).fifoFree);
    sim().clearTranscript();
    EXPECT_EQ(FIFOReset("0"), 1);
    EXPECT_EQ(FIFOGetRemainingBytes("0", &free), 1);
    EXPECT_EQ(free, kFifoBytes);
    EXPECT_EQ(frames(), (Frames{"_0K\r", "_0]\r"}));
}

TEST_F(FifoTest, RefusedAndFailedQueueing) {
    int32_t room = 42;
    EXPECT_EQ(FIFOMotorSlewRate("0,1", 600, &room), -1);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Broadcasting not allowed in this command");
    EXPECT_EQ(FIFOMotorSlewRate("0", 600, nullptr), -1);
    EXPECT_EQ(FIFOMotorSlope("0", 256, &room), -1);
    EXPECT_EQ(FIFOMotorSlope("0", -257, &room), -1);
    EXPECT_EQ(room, 42);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(frames().empty());

    // A failed transaction: the motion forms hand back the last value, the SPI and
    // user I/O forms leave the out-parameter alone.
    int32_t status = 0;
    ASSERT_EQ(MotorGetStatusRegister("0", &status), 1);
    sim().answerErrorCode(0, 1);
    EXPECT_EQ(FIFOMotorSlewRate("0", 600, &room), -1);
    EXPECT_EQ(room, status);
    room = 42;
    sim().answerErrorCode(1, 1);
    EXPECT_EQ(FIFOWriteSPI("1", 1, &room), -1);
    EXPECT_EQ(room, 42);
    sim().answerErrorCode(1, 1);
    EXPECT_EQ(FIFOWriteUserIO("1", 1, &room), -1);
    EXPECT_EQ(room, 42);
}

TEST_F(FifoTest, FullFifoWaitsForTheProfileToMakeRoom) {
    ASSERT_EQ(MotorSpeed("0", 4000, 4000, 0), 1);  // each 400-step move takes 100 ms
    queueMoves(31, 400);
    int32_t room = -1;
    ASSERT_EQ(FIFOMotorSlope("0", 0, &room), 1);
    ASSERT_EQ(room, 2);  // too little for another move

    // Start the profile, then queue one more move: the station answers FIFO full until
    // the first move has finished and freed its 4 bytes.
    ASSERT_EQ(MotorConfigureMode("0", 33 | 0x40), 1);
    sim().clearTranscript();
    room = -1;
    EXPECT_EQ(FIFOMotorNumberStepRel("0", 400, &room), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(room, 2);  // 6 bytes free once the first move is done, 4 taken again
    const Frames sent = frames();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent.front(), "_0&N400\r");
    EXPECT_EQ(sent.back(), "_0&N400\r");
    EXPECT_EQ(countFrames("_0]\r"), static_cast<long>(sent.size()) - 2);
    EXPECT_EQ(sim().station(0).fifo.back(), "N400");

    int32_t index = -1;
    EXPECT_EQ(FIFOGetIndexCounter("0", &index), 1);
    EXPECT_GE(index, 1);  // the moves finished so far
    EXPECT_EQ(ZelmarGetValue(), index);
}

TEST_F(FifoTest, FullFifoThatNeverEmptiesGivesUp) {
    queueMoves(32, 100);  // not running: nothing drains
    int32_t room = 42;
    int result = 0;
    const long long ms = elapsedMs([&] { result = FIFOMotorRepeat("0", &room); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_FIFO_WAIT_EXPIRED);
    EXPECT_STREQ(ZelmarGetErrorMessage(),
                 "The Delay of 900 Ms has been expired, and Can NOT Write the Command TO FIFO");
    EXPECT_EQ(room, 42);
    EXPECT_EQ(countFrames("_0]\r"), 91);
    EXPECT_EQ(countFrames("_0&G\r"), 1);  // never sent again
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 5000);
}

TEST_F(FifoTest, WaitEndsWithAFailedRoomQuery) {
    // A FIFO-full answer, then a station that no longer answers the room query.
    sim().setSilent(0, true);
    sim().scriptNextAnswer({"?3\r\n>"}, 0ms);
    int32_t room = 42;
    EXPECT_EQ(FIFOMotorRepeat("0", &room), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_EQ(room, 42);
    EXPECT_EQ(frames(), (Frames{"_0&G\r", "_0]\r", "\r", "_0]\r"}));
}

TEST_F(FifoTest, ResentAfterAFifoFullAnswerTakesTheComputedRoom) {
    sim().scriptNextAnswer({"?3\r\n>"}, 0ms);  // as if full; the FIFO is in fact empty
    int32_t room = -1;
    EXPECT_EQ(FIFOMotorSlewRate("0", 700, &room), 1);
    // The scripted answer hid the first queueing; the room query then saw 125 free
    // bytes, and the command (3 bytes) went again.
    EXPECT_EQ(frames(), (Frames{"_0&R700\r", "_0]\r", "_0&R700\r"}));
    EXPECT_EQ(room, kFifoBytes - 3 - 3);
}

TEST_F(FifoTest, ResendThatIsNotQueuedFailsAndKeepsItsAnswer) {
    // A station that answers every queued command FIFO full and reports 10 free bytes:
    // the resend is refused again, so nothing was queued.
    corvex::test::TapScope tap;
    ASSERT_EQ(PortOpen(1, 9600), 1);
    sim().clearTranscript();
    tap.beforeEachWrite([this](const std::string &bytes) {
        if (bytes == "_0&T3\r") sim().scriptNextAnswer({"?3>"}, 0ms);
        if (bytes == "_0]\r") sim().scriptNextAnswer({"\r\n10\r\n>"}, 0ms);
        if (bytes == "_0&N5\r") sim().scriptNextAnswer({"?1>"}, 0ms);
    });
    int32_t room = 42;
    EXPECT_EQ(FIFOMotorGoAbsPos("0", 3, &room), -1);
    EXPECT_EQ(room, 42);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_FIFO_FULL);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "FIFO FULL (command = _0&T3, answer = ?3>");
    EXPECT_EQ(frames(), (Frames{"_0&T3\r", "_0]\r", "_0&T3\r"}));

    // A resend that fails in another way: its error, the out-parameter untouched.
    sim().clearTranscript();
    tap.beforeEachWrite([this, first = true](const std::string &bytes) mutable {
        if (bytes == "_0&N5\r") sim().scriptNextAnswer({first ? "?3>" : "?1>"}, 0ms);
        if (bytes == "_0&N5\r") first = false;
        if (bytes == "_0]\r") sim().scriptNextAnswer({"\r\n10\r\n>"}, 0ms);
    });
    EXPECT_EQ(FIFOMotorNumberStepRel("0", 5, &room), -1);
    EXPECT_EQ(room, 42);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OUT_OF_RANGE);
    EXPECT_EQ(frames(), (Frames{"_0&N5\r", "_0]\r", "_0&N5\r"}));
}

TEST_F(FifoTest, OneDigitFreeRoomIsRead) {
    // Free room below 10 is answered with one digit; the wait must see it as it is,
    // not as the larger value of the answer before.
    int32_t room = -1;
    sim().scriptNextAnswer({"\r\n120\r\n>"}, 0ms);
    ASSERT_EQ(FIFOGetRemainingBytes("0", &room), 1);
    EXPECT_EQ(room, 120);
    sim().scriptNextAnswer({"\r\n3\r\n>"}, 0ms);
    ASSERT_EQ(FIFOGetRemainingBytes("0", &room), 1);
    EXPECT_EQ(room, 3);
}

TEST_F(FifoTest, IndexCounterIsMaskedToSixteenBits) {
    int32_t index = -1;
    sim().scriptNextAnswer({"\r\n65537\r\n>"}, 0ms);
    EXPECT_EQ(FIFOGetIndexCounter("0", &index), 1);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(ZelmarGetValue(), 1);
    EXPECT_EQ(frames(), Frames{"_0[\r"});

    index = 5;
    sim().answerErrorCode(0, 9);
    EXPECT_EQ(FIFOGetIndexCounter("0", &index), -1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(FIFOGetIndexCounter("0", nullptr), -1);
}

TEST_F(FifoTest, StoredProgram) {
    ASSERT_EQ(MotorSpeed("2", 4000, 4000, 0), 1);
    sim().clearTranscript();
    EXPECT_EQ(EnterProgMode("2"), 1);
    EXPECT_TRUE(sim().station(2).programRecording);
    EXPECT_EQ(MotorNumberStepRel("2", 40), 1);
    EXPECT_EQ(MotorWait("2", 10), 1);
    EXPECT_EQ(sim().station(2).program, (std::vector<std::string>{"N40", "D10"}));
    EXPECT_EQ(ExecStoredProg("2"), 1);
    EXPECT_FALSE(sim().station(2).programRecording);
    for (int i = 0; i < 100 && sim().station(2).programRunning; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(sim().station(2).position, 40);

    EXPECT_EQ(ProgramLoop("2"), 1);
    EXPECT_TRUE(sim().station(2).programRunning);
    EXPECT_EQ(MotorStop("2"), 1);
    EXPECT_FALSE(sim().station(2).programRunning);
    EXPECT_EQ(frames(), (Frames{"_2E\r", "_2N40\r", "_2D10\r", "_2X\r", "_2L\r", "_2H\r"}));

    sim().clearTranscript();
    MotorWait("2", -1);  // the wait goes out unsigned
    EXPECT_EQ(frames(), Frames{"_2D4294967295\r"});
}

}  // namespace
