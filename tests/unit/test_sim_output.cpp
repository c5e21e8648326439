// SPDX-License-Identifier: MIT
// The simulator's output queue and transcript on their own: order, wire-time pacing, the
// bound for a host that does not read, partial writes, poll time-outs, and the transcript's
// bound.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "output_queue.h"
#include "transcript.h"

namespace {

using namespace std::chrono_literals;
using kx4417::OutputQueue;
using TimePoint = OutputQueue::TimePoint;

// A non-blocking pipe standing in for the pty master: flush() writes into it, the test
// reads what arrived.
class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        for (int fd : fds_)
            if (fd >= 0) ::close(fd);
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;

    int writeEnd() const { return fds_[1]; }
    std::string drain() const {
        std::string got;
        char buf[4096];
        for (ssize_t n; (n = ::read(fds_[0], buf, sizeof buf)) > 0;)
            got.append(buf, static_cast<std::size_t>(n));
        return got;
    }

private:
    int fds_[2];
};

constexpr std::size_t kRoomy = 1 << 20;

TEST(SimOutputQueue, WireTimeKeepsOrderAndPace) {
    Pipe pipe;
    ASSERT_GE(pipe.writeEnd(), 0);
    OutputQueue queue(true, kRoomy);
    const auto pace = kx4417::byteTime(9600);
    const TimePoint t0{std::chrono::seconds(100)};
    queue.schedule("abc", t0, 9600);
    queue.schedule("de", t0, 9600);  // due at once, but the line still carries "abc"

    queue.flush(pipe.writeEnd(), t0);
    EXPECT_EQ(pipe.drain(), "a");  // one byte per byte time
    queue.flush(pipe.writeEnd(), t0 + 2 * pace);
    EXPECT_EQ(pipe.drain(), "bc");
    EXPECT_FALSE(queue.due(t0 + 3 * pace - 1ns));
    queue.flush(pipe.writeEnd(), t0 + 3 * pace - 1ns);
    EXPECT_EQ(pipe.drain(), "");
    queue.flush(pipe.writeEnd(), t0 + 10 * pace);
    EXPECT_EQ(pipe.drain(), "de");
    EXPECT_EQ(queue.size(), 0u);
}

TEST(SimOutputQueue, TheBoundDropsTheOldestBytesAndKeepsTheirTimes) {
    Pipe pipe;
    ASSERT_GE(pipe.writeEnd(), 0);
    OutputQueue queue(true, 10);
    const auto pace = kx4417::byteTime(9600);
    const TimePoint t0{std::chrono::seconds(100)};
    queue.schedule("abcdef", t0, 9600);
    queue.schedule("ghijkl", t0, 9600);
    EXPECT_EQ(queue.size(), 10u);
    EXPECT_EQ(queue.dropped(), 2u);

    // "c" keeps the time it had on the wire: two byte times after t0.
    queue.flush(pipe.writeEnd(), t0 + pace);
    EXPECT_EQ(pipe.drain(), "");
    queue.flush(pipe.writeEnd(), t0 + 2 * pace);
    EXPECT_EQ(pipe.drain(), "c");
    queue.flush(pipe.writeEnd(), t0 + 20 * pace);
    EXPECT_EQ(pipe.drain(), "defghijkl");

    // Without a line everything queued goes, and that is not counted as dropped.
    queue.schedule("xyz", t0, 9600);
    queue.flush(-1, t0 + 30 * pace);
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(queue.dropped(), 2u);
}

TEST(SimOutputQueue, AFullLineTakesTheRestLaterInOrder) {
    Pipe pipe;
    ASSERT_GE(pipe.writeEnd(), 0);
    OutputQueue queue(false, kRoomy);
    std::string sent;
    for (int i = 0; i < 300000; ++i) sent += static_cast<char>('a' + i % 26);
    const TimePoint t0{std::chrono::seconds(100)};
    queue.schedule(sent.substr(0, 200000), t0, 9600);
    queue.schedule(sent.substr(200000), t0, 9600);

    std::string got;
    for (int round = 0; round < 1000 && queue.size() > 0; ++round) {
        queue.flush(pipe.writeEnd(), t0);
        const std::size_t before = got.size();
        got += pipe.drain();
        ASSERT_GT(got.size(), before) << "flush wrote nothing with room in the pipe";
    }
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(got, sent);
    EXPECT_EQ(queue.dropped(), 0u);
}

TEST(SimOutputQueue, PollTimeoutRoundsUpAndStaysBounded) {
    OutputQueue queue(false, kRoomy);
    const TimePoint now{std::chrono::seconds(100)};
    EXPECT_EQ(queue.pollTimeoutMs(now), OutputQueue::kIdlePollMs);
    EXPECT_EQ(queue.pollTimeoutMs(now, now + 1200us), 2);

    queue.schedule("x", now + 100us, 9600);
    EXPECT_EQ(queue.pollTimeoutMs(now), 1);  // never 0 before it is due: no busy loop
    EXPECT_EQ(queue.pollTimeoutMs(now + 100us), 0);
    EXPECT_EQ(queue.pollTimeoutMs(now + 5ms), 0);
    EXPECT_EQ(queue.pollTimeoutMs(now, now - 1ms), 0);  // the other event is overdue

    OutputQueue later(false, kRoomy);
    later.schedule("x", now + 10s, 9600);
    EXPECT_EQ(later.pollTimeoutMs(now), OutputQueue::kIdlePollMs);
    EXPECT_EQ(later.pollTimeoutMs(now, now + 7ms), 7);
}

kx4417::Frame frame(const std::string &bytes) {
    return {std::chrono::steady_clock::now(), bytes, {}};
}

TEST(SimTranscript, KeepsTheNewestAndCountsEveryArrival) {
    kx4417::Transcript transcript(2);
    for (const char *bytes : {"_0P\r", "_1P\r", "_2P\r", "_3P\r", "_0=\r"})
        transcript.record(frame(bytes));
    EXPECT_TRUE(transcript.waitFor(5, 0ms));  // arrivals, not frames kept
    EXPECT_FALSE(transcript.waitFor(6, 0ms));
    EXPECT_EQ(transcript.dropped(), 3u);
    const auto taken = transcript.take();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].bytes, "_3P\r");
    EXPECT_EQ(taken[1].bytes, "_0=\r");
    EXPECT_TRUE(transcript.frames().empty());
    EXPECT_FALSE(transcript.waitFor(1, 0ms));  // counting starts again after a take

    // A zero limit still keeps the newest frame.
    kx4417::Transcript tiny(0);
    tiny.record(frame("a\r"));
    tiny.record(frame("b\r"));
    ASSERT_EQ(tiny.frames().size(), 1u);
    EXPECT_EQ(tiny.frames()[0].bytes, "b\r");
}

}  // namespace
