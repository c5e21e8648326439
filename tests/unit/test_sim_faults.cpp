// SPDX-License-Identifier: MIT
// Injected faults seen from a plain host on the simulator's pty: each kind really reaches
// the line, is named in the transcript and counted, and a seed makes the choice repeatable.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "test_sim_host.h"

using namespace simtest;
using kx4417::Fault;
using kx4417::FaultPlan;

namespace {

// A plan that injects `fault` into every answered frame.
FaultPlan always(Fault fault) {
    FaultPlan plan;
    plan[fault] = 1.0;
    return plan;
}

class SimFaults : public SimHostTest {
protected:
    SimFaults() : SimHostTest({0, 1, 2}) {}

    // The fault named in the transcript for the last frame.
    std::string lastFault() {
        auto frames = sim().frames();
        return frames.empty() ? "<no frame>" : frames.back().fault;
    }
    std::uint64_t count(Fault fault) {
        return sim().faultCounts()[static_cast<std::size_t>(fault)];
    }
};

TEST_F(SimFaults, DroppedAnswerStillRunsTheCommand) {
    sim().setFaults(always(Fault::Drop));
    EXPECT_EQ(host().ask("_0A5", 150ms), "");
    EXPECT_EQ(sim().station(0).position, 5);
    EXPECT_EQ(lastFault(), "drop");
    EXPECT_EQ(count(Fault::Drop), 1u);
    sim().setFaults({});
    EXPECT_EQ(host().ask("_0P"), value(5));
    EXPECT_EQ(lastFault(), "");
}

TEST_F(SimFaults, DelayStraddlesTheHostsWait) {
    FaultPlan plan = always(Fault::Delay);
    plan.delayMin = 190ms;
    plan.delayMax = 210ms;
    plan.seed = 3;
    sim().setFaults(plan);
    bool under = false;
    bool over = false;
    for (int i = 0; i < 8 && !(under && over); ++i) {
        const auto t0 = Clock::now();
        EXPECT_EQ(host().ask("_1", 1s), kPrompt);
        const auto took = Clock::now() - t0;
        int ms = -1;
        ASSERT_EQ(std::sscanf(lastFault().c_str(), "delay %d ms", &ms), 1) << lastFault();
        EXPECT_GE(ms, 190);
        EXPECT_LE(ms, 210);
        EXPECT_GE(took, std::chrono::milliseconds(ms - 2));
        (ms < 200 ? under : over) = true;
    }
    EXPECT_TRUE(under && over) << "delays on both sides of 200 ms";
}

TEST_F(SimFaults, GarbageBeforeOrInsteadOfTheAnswer) {
    sim().setFaults(always(Fault::GarbageBefore));
    std::string got = host().ask("_2P");
    ASSERT_TRUE(got.ends_with(value(0))) << got;
    const std::size_t noise = got.size() - value(0).size();
    EXPECT_GE(noise, 1u);
    EXPECT_LE(noise, 8u);
    EXPECT_EQ(lastFault(), "garbage-before " + std::to_string(noise) + " bytes");

    sim().setFaults(always(Fault::GarbageInstead));
    host().send("_2P\r");
    got = host().collect(150ms);
    EXPECT_GE(got.size(), 1u);
    EXPECT_LE(got.size(), 8u);
    EXPECT_EQ(got.find('>'), std::string::npos);
    EXPECT_EQ(got.find('\0'), std::string::npos);
    EXPECT_EQ(lastFault(), "garbage-instead " + std::to_string(got.size()) + " bytes");
    EXPECT_EQ(count(Fault::GarbageBefore) + count(Fault::GarbageInstead), 2u);
}

TEST_F(SimFaults, NulBytesInsideTheAnswer) {
    sim().setFaults(always(Fault::Nul));
    std::string got = host().ask("_0R700");
    const auto nuls = static_cast<std::size_t>(std::count(got.begin(), got.end(), '\0'));
    EXPECT_GE(nuls, 1u);
    EXPECT_LE(nuls, 3u);
    std::erase(got, '\0');
    EXPECT_EQ(got, kPrompt);
    EXPECT_EQ(lastFault(), "nul " + std::to_string(nuls) + " bytes");
    EXPECT_EQ(sim().station(0).slewRate, 700);
}

TEST_F(SimFaults, SplitAnswerArrivesInPiecesWithGaps) {
    FaultPlan plan = always(Fault::Split);
    plan.splitGap = 60ms;
    sim().setFaults(plan);
    // Pieces 60 ms apart: the last byte comes at least one gap per piece after the first
    // after the frame was sent. Measured from the send, so a reader that wakes late (a loaded
    // machine) cannot shorten the time seen.
    const Clock::time_point sent = Clock::now();
    host().send("_0=\r");
    std::string got;
    Clock::time_point last{};
    while (got.find('>') == std::string::npos) {
        std::string piece = host().readUntil([](const std::string &s) { return !s.empty(); }, 1s);
        if (piece.empty()) break;
        last = Clock::now();
        got += piece;
    }
    EXPECT_EQ(got, value(64 | 128 | 256));
    int pieces = 0;
    ASSERT_EQ(std::sscanf(lastFault().c_str(), "split %d pieces 60 ms apart", &pieces), 1)
        << lastFault();
    EXPECT_GE(pieces, 2);
    EXPECT_GE(last - sent, (pieces - 1) * 60ms);
    EXPECT_LE(pieces, 4);
}

TEST_F(SimFaults, OverlongAnswerHasNoPrompt) {
    FaultPlan plan = always(Fault::Overlong);
    plan.overlongBytes = 7000;
    sim().setFaults(plan);
    host().send("_1P\r");
    const std::string got =
        host().readUntil([](const std::string &s) { return s.size() >= 7000; }, 2s);
    EXPECT_EQ(got.size(), 7000u);
    EXPECT_EQ(got.find('>'), std::string::npos);
    EXPECT_EQ(host().collect(100ms), "");
    EXPECT_EQ(lastFault(), "overlong 7000 bytes");
}

TEST_F(SimFaults, WrongRateGarblesEveryByte) {
    sim().setFaults(always(Fault::WrongRate));
    host().send("_0P\r");
    const std::string got = host().collect(150ms);
    ASSERT_EQ(got.size(), value(0).size());
    for (unsigned char c : got) EXPECT_GE(c, 0x80);
    EXPECT_EQ(lastFault(), "wrong-rate " + std::to_string(value(0).size()) + " bytes");

    // A station at another rate than the host hears nothing at all.
    sim().setFaults({});
    sim().setStationBaudRate(1, 19200);
    EXPECT_EQ(host().ask("_1", 150ms), "");
    host().setRate(B19200);
    EXPECT_EQ(host().ask("_1"), kPrompt);
}

TEST_F(SimFaults, TwoStationsAnswerOneFrame) {
    sim().setPositionRaw(0, 11);
    sim().setPositionRaw(1, 77);
    sim().setFaults(always(Fault::TwoStations));
    host().send("_0P\r");
    const std::string got = host().readUntil(
        [](const std::string &s) { return std::count(s.begin(), s.end(), '>') == 2; }, 1s);
    EXPECT_EQ(got, value(11) + value(77));
    EXPECT_EQ(lastFault(), "two-stations");
}

TEST(SimFaultLine, HangsUpAfterNFramesAndComesBack) {
    char dir[] = "/tmp/kx4417-fault-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/com1";
    kx4417::SimOptions options;
    options.linkPath = link;
    kx4417::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    FaultPlan plan;
    plan.hangUpAfter = 3;
    plan.reconnectAfter = 150ms;
    sim.setFaults(plan);
    {
        Host host(link);
        ASSERT_TRUE(host.ok());
        EXPECT_EQ(host.ask("_0"), kPrompt);
        EXPECT_EQ(host.ask("_1"), kPrompt);
        host.send("_2\r");
        pollfd p{host.fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 500), 1);
        EXPECT_TRUE(p.revents & POLLHUP);
    }
    EXPECT_EQ(sim.frames().back().fault, "hang-up (line back in 150 ms)");
    EXPECT_EQ(sim.faultCounts()[static_cast<std::size_t>(Fault::HangUp)], 1u);
    // The line comes back by itself, through the same link; the count starts again.
    const auto end = Clock::now() + 2s;
    while (sim.slavePath().empty() && Clock::now() < end) std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(sim.slavePath().empty());
    Host again(link);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.ask("_3"), kPrompt);
    EXPECT_EQ(again.ask("_3"), kPrompt);
    sim.stop();
    ::rmdir(dir);
}

// The faults chosen for 60 frames of a fixed exchange.
std::vector<std::string> faultsOfARun(std::uint64_t seed) {
    kx4417::Simulator sim;
    EXPECT_TRUE(sim.start());
    FaultPlan plan = FaultPlan::everyKind(0.9, seed);
    plan.hangUpAfter = 0;
    plan.delayMin = plan.delayMax = 1ms;
    plan.splitGap = 1ms;
    plan.overlongBytes = 20;
    sim.setFaults(plan);
    Host host(sim.slavePath());
    for (int i = 0; i < 60; ++i) {
        host.send("_" + std::to_string(i % 4) + "P\r");
        sim.waitForFrames(static_cast<std::size_t>(i + 1), 1s);
    }
    std::vector<std::string> faults;
    for (const auto &f : sim.frames()) faults.push_back(f.fault);
    return faults;
}

TEST(SimFaultLine, TheSeedDecidesTheFaults) {
    const auto first = faultsOfARun(42);
    ASSERT_EQ(first.size(), 60u);
    EXPECT_EQ(faultsOfARun(42), first);
    EXPECT_NE(faultsOfARun(43), first);
    // Nine kinds at 10 % each: 60 frames see most of them.
    std::vector<std::string> kinds;
    for (const auto &f : first)
        if (!f.empty()) kinds.push_back(f.substr(0, f.find(' ')));
    std::sort(kinds.begin(), kinds.end());
    kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
    EXPECT_GE(kinds.size(), 6u);
}

// ----- the simulator's own line handling ------------------------------------------------

TEST(SimLineMend, AnotherProgramsCloseKeepsTheHostsExclusiveMark) {
    kx4417::Simulator sim;
    ASSERT_TRUE(sim.start());
    const std::string path = sim.slavePath();
    auto host = std::make_unique<Host>(path);
    ASSERT_TRUE(host->ok());
    ASSERT_EQ(::ioctl(host->fd(), TIOCEXCL), 0);
    int mark = 0;
    ASSERT_EQ(::ioctl(host->fd(), TIOCGEXCL, &mark), 0);
    ASSERT_EQ(mark, 1);

    // A second program tries the port (refused unless privileged) and closes it again.
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    std::this_thread::sleep_for(150ms);  // the simulator has seen the close
    ASSERT_EQ(::ioctl(host->fd(), TIOCGEXCL, &mark), 0);
    EXPECT_EQ(mark, 1) << "the host lost its exclusive use";

    // The host's own close lifts it, so the next host gets in.
    host.reset();
    const auto end = Clock::now() + 2s;
    bool lifted = false;
    while (!lifted && Clock::now() < end) {
        std::this_thread::sleep_for(20ms);
        Host next(path);
        lifted = next.ok() && ::ioctl(next.fd(), TIOCGEXCL, &mark) == 0 && mark == 0;
    }
    EXPECT_TRUE(lifted);
}

TEST(SimLineMend, AFloodReachesAReadingHostWhole) {
    kx4417::Simulator sim;
    ASSERT_TRUE(sim.start());
    Host host(sim.slavePath());
    ASSERT_TRUE(host.ok());
    std::string flood;
    for (int i = 0; flood.size() < 300 * 1024; ++i) flood += std::to_string(i) + ',';
    sim.sendRaw(flood);
    const std::string got =
        host.readUntil([&](const std::string &s) { return s.size() >= flood.size(); }, 10s);
    EXPECT_EQ(got.size(), flood.size());
    EXPECT_TRUE(got == flood);
    EXPECT_EQ(sim.outputDropped(), 0u);
}

TEST(SimLineMend, OutputForAHostThatNeverReadsIsBounded) {
    kx4417::Simulator sim;
    ASSERT_TRUE(sim.start());
    Host host(sim.slavePath());  // open, never read
    ASSERT_TRUE(host.ok());
    const std::size_t total = kx4417::kMaxPendingOutput + (3u << 20);
    for (std::size_t sent = 0; sent < total; sent += 1u << 20)
        sim.sendRaw(std::string(1u << 20, 'x'));
    // What the pty buffers is not dropped; everything beyond the bound is.
    EXPECT_GE(sim.outputDropped(), total - kx4417::kMaxPendingOutput - (1u << 20));
    EXPECT_LE(sim.outputDropped(), total - kx4417::kMaxPendingOutput);
}

TEST(SimLineMend, TranscriptKeepsTheNewestFramesUpToItsLimit) {
    kx4417::SimOptions options;
    options.transcriptLimit = 50;
    kx4417::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    Host host(sim.slavePath());
    ASSERT_TRUE(host.ok());
    for (int i = 0; i < 120; ++i) host.send("_9N" + std::to_string(i) + "\r");
    ASSERT_TRUE(sim.waitForFrames(120, 5s));
    const auto texts = sim.frameTexts();
    ASSERT_EQ(texts.size(), 50u);
    EXPECT_EQ(texts.front(), "_9N70\r");
    EXPECT_EQ(texts.back(), "_9N119\r");
    EXPECT_EQ(sim.transcriptDropped(), 70u);
}

}  // namespace
