// SPDX-License-Identifier: MIT
// Faults of the line that must not turn into wrong values, hangs or repeated motion: noise
// before an answer, a far end that stops reading, frames whose answer is lost.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <future>
#include <string>
#include <thread>

#include "link_fixture.h"

using namespace std::chrono_literals;

namespace {

// A pseudo-terminal whose far end never reads: whatever the library writes piles up until
// the terminal takes no more, as on a stalled adapter or a frozen peer.
class StalledLine {
public:
    StalledLine() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        termios tio{};
        ::tcgetattr(slave_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
        ::fcntl(slave_, F_SETFL, ::fcntl(slave_, F_GETFL) | O_NONBLOCK);
        path_ = name;
    }
    ~StalledLine() {
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    const std::string &path() const { return path_; }

    // Fills the terminal's queue through a descriptor of the test's own until it is full.
    // Large blocks first, then single bytes, so that not even a short frame fits; again
    // after a pause, since the terminal moves queued bytes on to the far end's side in the
    // background and so makes room once more, until no byte fits twice in a row.
    std::size_t fill() {
        const std::string block(1024, 'x');
        std::size_t total = 0;
        for (int quiet = 0; quiet < 2;) {
            std::size_t round = 0;
            for (const std::size_t size : {block.size(), std::size_t{64}, std::size_t{1}}) {
                for (;;) {
                    const ssize_t n = ::write(slave_, block.data(), size);
                    if (n <= 0) break;
                    round += static_cast<std::size_t>(n);
                }
            }
            total += round;
            quiet = round == 0 ? quiet + 1 : 0;
            std::this_thread::sleep_for(50ms);
        }
        return total;
    }
    // Reads everything queued, as a far end that wakes up again would.
    void drain() {
        char buffer[4096];
        pollfd pfd{master_, POLLIN, 0};
        while (::poll(&pfd, 1, 0) > 0 && ::read(master_, buffer, sizeof buffer) > 0) {
        }
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

class StalledLineTest : public LinkTest {
protected:
    StalledLineTest() : LinkTest({0}, false) {}
};

// A write that the line does not take fails within its bound, with its diagnostics line, and
// the call returns with the time-out error; meanwhile and afterwards other threads get the
// line (the lock is not held without end).
TEST_F(StalledLineTest, AWriteTheLineDoesNotTakeFailsWithinItsBound) {
    StalledLine line;
    ASSERT_FALSE(line.path().empty());
    ::setenv("CORVEXLINK_COM2", line.path().c_str(), 1);
    ASSERT_EQ(PortOpen(2, 9600), 1) << ZelmarGetErrorMessage();
    ASSERT_GT(line.fill(), 0u);

    auto stop = std::async(std::launch::async, [] { return MotorStop("0"); });
    const bool returned = stop.wait_for(20s) == std::future_status::ready;
    if (!returned) line.drain();  // let the hung call end so that the test can finish
    ASSERT_TRUE(returned) << "the call did not return while the line took no bytes";
    EXPECT_EQ(stop.get(), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    bool reported = false;
    for (const std::string &d : diagnostics())
        reported = reported || d.rfind("CorvexLink: WriteCommBlock --> Write", 0) == 0;
    EXPECT_TRUE(reported) << "a failed write leaves its diagnostics line";

    // The line is usable again once its far end reads.
    line.drain();
    EXPECT_EQ(PortClose(), 1);
}

class NoisyAnswerTest : public LinkTest {};

// Noise that came before the line holding the value (garbage ahead of an answer) does not
// turn the reading into 0: the value is the station's.
TEST_F(NoisyAnswerTest, NoiseBeforeTheValueLeavesTheValue) {
    for (const char *answer :
         {"xy\r\n12345\r\n>", "\x13\x7f\r\n4321\r\n>", "ab\r\ncd\r\n777\r\n>"}) {
        SCOPED_TRACE(answer);
        const std::string text(answer);
        const int expected = std::stoi(text.substr(text.rfind("\r\n", text.size() - 4) + 2));
        sim().scriptNextAnswer({text}, 0ms);
        int32_t position = -1;
        EXPECT_EQ(MotorGetPosition("0", &position), 1);
        EXPECT_EQ(position, expected);
        EXPECT_EQ(ZelmarGetValue(), expected);
    }
    // The eleven analog readings too.
    std::array<int32_t, CORVEXLINK_ADC_CHANNELS> values{};
    sim().scriptNextAnswer({"#!\r\n10,20,30,\r\n>"}, 0ms);
    EXPECT_EQ(ReadAllChannelsADC("0", 12, values.data()), 1);
    EXPECT_EQ(values[0], 10);
    EXPECT_EQ(values[2], 30);
}

// A frame whose second execution would move the motor again is not repeated when its answer
// is lost: the call fails with the time-out error and says the command may have been
// executed. Frames that may run twice keep their repeat.
TEST_F(NoisyAnswerTest, FramesThatMoveAgainAreNotRepeatedAfterALostAnswer) {
    kx4417::FaultPlan dropAll;
    dropAll[kx4417::Fault::Drop] = 1.0;  // executed, answer never sent
    sim().setFaults(dropAll);

    EXPECT_EQ(MotorNumberStepRel("0", 10), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_STREQ(ZelmarGetErrorMessage(),
                 "ItcCommand: COM port timed out, the command may have been executed "
                 "(command = _0N10)");
    EXPECT_EQ(frames(), std::vector<std::string>{"_0N10\r"});

    int32_t room = 0;
    sim().clearTranscript();
    EXPECT_EQ(FIFOMotorNumberStepRel("1", 5, &room), -1);
    EXPECT_EQ(MotorRepeat("2"), -1);
    EXPECT_EQ(WriteCommandtoKX4417("000CN7"), -1);  // a group's relative move, as raw text
    EXPECT_EQ(frames(), (std::vector<std::string>{"_1&N5\r", "_2G\r", "000CN7\r"}));

    sim().clearTranscript();
    EXPECT_EQ(MotorGoAbsPos("3", 100), -1);  // an absolute move may go twice
    EXPECT_EQ(frames(), (std::vector<std::string>{"_3T100\r", "\r", "_3T100\r"}));
    EXPECT_STREQ(ZelmarGetErrorMessage(), "ItcCommand: COM port timed out (command = _3T100)");

    sim().setFaults(kx4417::FaultPlan{});
    for (int i = 0; i < 200 && sim().station(0).running; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(sim().station(0).position, 10);  // moved once
}

}  // namespace
