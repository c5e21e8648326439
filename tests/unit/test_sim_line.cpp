// SPDX-License-Identifier: MIT
// The simulator's line behaviour seen from a plain POSIX host on its pty: framing,
// addressing, group answers, faults, line rate and hang-up.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <thread>

#include "test_sim_host.h"

using namespace simtest;

namespace {

class SimLine : public SimHostTest {
protected:
    SimLine() : SimHostTest({0, 1, 2, 3, 5}) {}
};

std::size_t prompts(const std::string &s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '>'));
}

TEST_F(SimLine, ProbesValuesAndSilence) {
    EXPECT_EQ(host().ask("_0"), kPrompt);
    EXPECT_EQ(host().ask("_5"), kPrompt);
    EXPECT_EQ(host().ask("_4", 150ms), "");  // absent
    EXPECT_EQ(host().ask("_2P"), "\r\n0\r\n>");
    EXPECT_EQ(host().ask("_1{"), value(0));
    // HOME (position 0), READY and DIR (+) on a fresh station.
    EXPECT_EQ(host().ask("_3="), value(64 | 128 | 256));
    EXPECT_EQ(host().ask("_3R700"), kPrompt);
    EXPECT_EQ(sim().station(3).slewRate, 700);

    host().send("\r");  // a lone CR is not answered
    EXPECT_EQ(host().collect(100ms), "");
}

TEST_F(SimLine, SyntaxAndRangeErrors) {
    EXPECT_EQ(host().ask("_0Q"), error(2));     // unknown letter
    EXPECT_EQ(host().ask("_0R12x"), error(2));  // malformed value
    EXPECT_EQ(host().ask("_0R"), error(1));     // missing value
    EXPECT_EQ(host().ask("_0R15"), error(1));   // below the slowest rate
    EXPECT_EQ(host().ask("_0N99999999"), error(1));
    EXPECT_EQ(host().ask("_0&P"), error(2));          // not a FIFO command
    EXPECT_EQ(host().ask("hello"), error(2));         // no address at all: one complaint
    EXPECT_EQ(host().ask("_1:$FFFFFFFF"), error(9));  // line state only on a board master
    EXPECT_EQ(sim().station(0).slewRate, 600);
}

TEST_F(SimLine, GroupActsOnEveryStationButOnlyOneAnswers) {
    host().send("002EY300\r");  // 1, 2, 3 and 5
    std::string got = host().collect(200ms);
    EXPECT_EQ(got, kPrompt);
    for (int a : {1, 2, 3, 5}) EXPECT_EQ(sim().station(a).jogSpeed, 300) << a;
    EXPECT_EQ(sim().station(0).jogSpeed, 0);

    // The answer comes from the lowest station that listens, even when it answers an error.
    sim().setSilent(1, true);
    sim().answerErrorCode(2, 6);
    host().send("002EY400\r");
    EXPECT_EQ(host().collect(200ms), error(6));
    EXPECT_EQ(sim().station(1).jogSpeed, 300);  // silenced: did nothing
    EXPECT_EQ(sim().station(2).jogSpeed, 300);  // answered the error instead of executing
    EXPECT_EQ(sim().station(3).jogSpeed, 400);

    EXPECT_EQ(host().ask("FFFF"), kPrompt);
    EXPECT_EQ(prompts(host().collect(100ms)), 0u);
    EXPECT_EQ(host().ask("0010", 150ms), "");  // only absent stations addressed
}

TEST_F(SimLine, TranscriptKeepsEveryFrameExactly) {
    sim().clearTranscript();
    const std::string withNul("_0\0P\r", 5);
    host().send("_1\r\r_2P\r" + withNul);
    ASSERT_TRUE(sim().waitForFrames(4, 1s));
    EXPECT_EQ(sim().frameTexts(), (std::vector<std::string>{"_1\r", "\r", "_2P\r", withNul}));
    auto frames = sim().frames();
    for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_LE(frames[i - 1].at, frames[i].at);
    EXPECT_EQ(sim().takeFrames().size(), 4u);
    EXPECT_TRUE(sim().frames().empty());
    EXPECT_FALSE(sim().waitForFrames(1, 20ms));
}

TEST_F(SimLine, DroppedDelayedAndScriptedAnswers) {
    sim().dropNextFrames(1);
    host().send("\r");  // lone CRs do not count as dropped frames
    EXPECT_EQ(host().ask("_0A5", 150ms), "");
    EXPECT_EQ(sim().station(0).position, 0);  // a dropped frame is not executed
    EXPECT_EQ(host().ask("_0A5"), kPrompt);
    EXPECT_EQ(sim().station(0).position, 5);

    sim().answerErrorCode(0, 7, 2);
    EXPECT_EQ(host().ask("_0A6"), error(7));
    EXPECT_EQ(host().ask("_0A6"), error(7));
    EXPECT_EQ(sim().station(0).position, 5);
    EXPECT_EQ(host().ask("_0A6"), kPrompt);

    sim().setAnswerDelay(120ms);
    auto t0 = Clock::now();
    EXPECT_EQ(host().ask("_0", 1s), kPrompt);
    EXPECT_GE(Clock::now() - t0, 110ms);
    sim().setAnswerDelay(0ms);

    // A scripted answer replaces the real one, chunk by chunk; the command still runs.
    sim().scriptNextAnswer({"\r\n12", std::string("3\0", 2), "4\r\n>"}, 30ms);
    t0 = Clock::now();
    EXPECT_EQ(host().ask("_1A9", 1s), std::string("\r\n123\0"
                                                  "4\r\n>",
                                                  10));
    EXPECT_GE(Clock::now() - t0, 55ms);
    EXPECT_EQ(sim().station(1).position, 9);
    EXPECT_EQ(host().ask("_1P"), value(9));

    sim().sendRaw("garbage>");
    EXPECT_EQ(host().collect(100ms), "garbage>");
}

TEST_F(SimLine, StationsFollowTheRateChange) {
    EXPECT_EQ(sim().hostBaudRate(), 9600);
    sim().setFollowsBaudChange(2, false);
    // The host switches its own rate right after the command, as a real host does.
    host().send("^3\r\r\r");
    host().setRate(B57600);
    EXPECT_EQ(host().collect(100ms), "");
    EXPECT_EQ(sim().hostBaudRate(), 57600);
    EXPECT_EQ(sim().stationBaudRate(0), 57600);
    EXPECT_EQ(sim().stationBaudRate(2), 9600);
    EXPECT_EQ(host().ask("_0"), kPrompt);
    EXPECT_EQ(host().ask("_2", 150ms), "");  // left behind: hears nothing at 57600

    host().setRate(B9600);
    EXPECT_EQ(host().ask("_2"), kPrompt);
    EXPECT_EQ(host().ask("_0", 150ms), "");
    EXPECT_EQ(host().ask("_1^4", 150ms), "");  // station 1 is at 57600: does not hear it
    EXPECT_EQ(sim().stationBaudRate(1), 57600);
    host().setRate(B57600);
    EXPECT_EQ(host().ask("_1^4", 150ms), "");  // a prefixed change moves only its station
    EXPECT_EQ(sim().stationBaudRate(1), 115200);
    EXPECT_EQ(sim().stationBaudRate(0), 57600);
}

TEST(SimLink, HangUpAndReconnectThroughTheLink) {
    char dir[] = "/tmp/kx4417-sim-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/com1";
    kx4417::SimOptions options;
    options.stations = {4};
    options.linkPath = link;
    {
        kx4417::Simulator sim(options);
        ASSERT_TRUE(sim.start());
        char target[256] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), sim.slavePath());

        Host first(link);
        ASSERT_TRUE(first.ok());
        EXPECT_EQ(first.ask("_4"), kPrompt);
        sim.hangUp();
        EXPECT_EQ(sim.slavePath(), "");
        pollfd p{first.fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 500), 1);
        EXPECT_TRUE(p.revents & POLLHUP);

        ASSERT_TRUE(sim.reconnect());
        Host second(link);
        ASSERT_TRUE(second.ok());
        EXPECT_EQ(second.ask("_4"), kPrompt);
    }
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);  // removed when the simulator stopped
    ::rmdir(dir);
}

TEST(SimLink, WireTimePacesTheAnswer) {
    kx4417::SimOptions options;
    options.wireTime = true;
    kx4417::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    Host host(sim.slavePath());
    ASSERT_TRUE(host.ok());
    // "_0<12" and its CR in, 58 answer bytes out: 64 bytes of about 1.04 ms at 9600 baud.
    const auto t0 = Clock::now();
    std::string got = host.ask("_0<12", 1s);
    EXPECT_EQ(got.size(), 58u);
    EXPECT_GE(Clock::now() - t0, 60ms);
}

TEST(SimLink, NoHostNoTrouble) {
    // Answers queued while nobody reads do not block the simulator or its stop.
    kx4417::Simulator sim;
    ASSERT_TRUE(sim.start());
    for (int i = 0; i < 200; ++i) sim.sendRaw(std::string(1000, 'x'));
    Host host(sim.slavePath());
    ASSERT_TRUE(host.ok());
    tcflush(host.fd(), TCIOFLUSH);
    host.send("_0\r");
    std::string got = host.readUntil([](const std::string &s) { return s.ends_with("\r\n>"); }, 2s);
    EXPECT_TRUE(got.ends_with(kPrompt));
    sim.stop();
    sim.stop();
    EXPECT_FALSE(sim.running());
}

}  // namespace
