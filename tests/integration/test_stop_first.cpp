// SPDX-License-Identifier: MIT
// A stop from a second thread while another export holds the line: it goes out at the next
// boundary between that export's transactions, and the interrupted export ends exactly as an
// uninterrupted run would. The simulator emulates the wire time at 9600 baud.
#include <algorithm>
#include <array>
#include <functional>
#include <future>
#include <thread>

#include "link_fixture.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Frames = std::vector<std::string>;

namespace {

// The longest a stop may wait at 9600 baud for the running export's transaction, and then
// its own frame: a silent frame waits 200 ms for its answer (a probe of the scan); a frame
// that goes unanswered waits three times and is repeated, after at most one wait for a late
// duplicate. The tests check against the scan's bound where a silent probe is the longest
// step, and against the whole bound elsewhere, each with a margin for a loaded machine.
constexpr auto kSilentStepBound = 200ms + 10ms;
constexpr auto kWorstStepBound = 850ms + 140ms;
constexpr auto kMargin = 150ms;

// What one export returned and left in the error state, read on its own thread.
struct Outcome {
    int result = 0;
    int number = 0;
    std::string message;
    bool operator==(const Outcome &) const = default;
};

template <typename F>
Outcome run(F &&f) {
    Outcome o;
    o.result = f();
    o.number = ZelmarGetNumberError();
    o.message = ZelmarGetErrorMessage();
    return o;
}

class StopFirstTest : public LinkTest {
protected:
    StopFirstTest() : LinkTest({0, 1, 2, 3}, true, true) {}

    struct Interrupted {
        Outcome running;  // the export that held the line
        Outcome stop;
        Frames frames;              // everything the stations received, in order
        Clock::duration latency{};  // from the stop's call to its frame at the station
    };

    // Runs `exportCall` on one thread and, `after` into it, `MotorStop(address)` on another.
    Interrupted interrupt(const std::function<int()> &exportCall, const char *address,
                          Clock::duration after, const std::string &stopFrame) {
        Interrupted r;
        sim().clearTranscript();
        std::promise<void> started;
        auto running = std::async(std::launch::async, [&] {
            started.set_value();
            return run(exportCall);
        });
        started.get_future().wait();
        std::this_thread::sleep_for(after);
        const Clock::time_point called = Clock::now();
        r.stop = run([&] { return MotorStop(address); });
        r.running = running.get();
        const std::vector<kx4417::Frame> received = sim().frames();
        for (const kx4417::Frame &f : received) {
            r.frames.push_back(f.bytes);
            if (f.bytes == stopFrame && r.latency == Clock::duration{}) r.latency = f.at - called;
        }
        return r;
    }

    // The frames without the stop's own.
    static Frames without(Frames frames, const std::string &stopFrame) {
        const auto at = std::find(frames.begin(), frames.end(), stopFrame);
        if (at != frames.end()) frames.erase(at);
        return frames;
    }

    // Where the stop's frame stands among all frames received (their count when absent).
    static long indexOf(const Frames &frames, const std::string &frame) {
        return std::find(frames.begin(), frames.end(), frame) - frames.begin();
    }

    static long long ms(Clock::duration d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    }
};

const Outcome kStopDone{1, CORVEXLINK_ERR_CLEARED, ""};

TEST_F(StopFirstTest, DuringAScanTheStopGoesOutBetweenTwoProbes) {
    char uninterruptedList[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    sim().clearTranscript();
    const Outcome alone = run([&] { return GetConnectedControllers(uninterruptedList); });
    const Frames aloneFrames = frames();
    ASSERT_EQ(aloneFrames.size(), 16u);

    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    const Interrupted r =
        interrupt([&] { return GetConnectedControllers(list); }, "0", 1000ms, "_0H\r");
    EXPECT_EQ(r.running, alone);
    EXPECT_STREQ(list, uninterruptedList);
    EXPECT_EQ(r.stop, kStopDone);
    EXPECT_EQ(without(r.frames, "_0H\r"), aloneFrames);
    ASSERT_NE(r.latency, Clock::duration{}) << "the stop frame never reached the station";
    EXPECT_LE(r.latency, kSilentStepBound + kMargin) << ms(r.latency) << " ms";
    // It went out while the scan was still probing: silent probes came after it.
    const auto at = std::find(r.frames.begin(), r.frames.end(), "_0H\r") - r.frames.begin();
    EXPECT_GT(at, 4);
    EXPECT_LT(at, 16);
}

TEST_F(StopFirstTest, DuringABoardInitialisation) {
    setStationTable("0123NNNNNNNNNNNN");
    sim().clearTranscript();
    const Outcome alone = run([] { return MotorStationsInit(); });
    const Frames aloneFrames = frames();
    ASSERT_EQ(alone.result, 1) << alone.message;

    const Interrupted r = interrupt([] { return MotorStationsInit(); }, "0", 150ms, "_0H\r");
    EXPECT_EQ(r.running, alone);
    EXPECT_EQ(r.stop, kStopDone);
    EXPECT_EQ(without(r.frames, "_0H\r"), aloneFrames);
    ASSERT_NE(r.latency, Clock::duration{});
    EXPECT_LE(r.latency, kWorstStepBound + kMargin) << ms(r.latency) << " ms";
    EXPECT_LT(indexOf(r.frames, "_0H\r") + 10, static_cast<long>(r.frames.size()))
        << "the stop waited for the initialisation to end";
}

TEST_F(StopFirstTest, DuringABaudRateChange) {
    setStationTable("0123NNNNNNNNNNNN");
    const Interrupted r = interrupt([] { return ZelmarChangeBaudRate(19200); }, "1", 20ms, "_1H\r");
    EXPECT_EQ(r.running, (Outcome{1, CORVEXLINK_ERR_CLEARED, ""}));
    EXPECT_EQ(r.stop, kStopDone) << "a stop sent between the switch and the host's change "
                                    "would go out at a rate the stations no longer hear";
    EXPECT_EQ(without(r.frames, "_1H\r"),
              (Frames{"^1\r", "\r", "\r", "_0\r", "_1\r", "_2\r", "_3\r"}));
    EXPECT_EQ(indexOf(r.frames, "_1H\r"), 3) << "not between the switch and the probes";
    EXPECT_LE(r.latency, kWorstStepBound + kMargin) << ms(r.latency) << " ms";
    ASSERT_EQ(ZelmarChangeBaudRate(9600), 1);
}

TEST_F(StopFirstTest, DuringAFifoCourseThatWaitsForRoom) {
    for (int i = 0; i < 32; ++i) {  // a full FIFO that nothing drains
        int32_t room = -1;
        ASSERT_EQ(FIFOMotorNumberStepRel("0", 100, &room), 1) << i;
    }
    int32_t room = 42;
    const Interrupted r =
        interrupt([&] { return FIFOMotorRepeat("0", &room); }, "1", 300ms, "_1H\r");
    EXPECT_EQ(r.running,
              (Outcome{-1, CORVEXLINK_ERR_FIFO_WAIT_EXPIRED,
                       "The Delay of 900 Ms has been expired, and Can NOT Write the Command TO "
                       "FIFO"}));
    EXPECT_EQ(room, 42);
    EXPECT_EQ(r.stop, kStopDone);
    const Frames rest = without(r.frames, "_1H\r");
    EXPECT_EQ(std::count(rest.begin(), rest.end(), "_0]\r"), 91);
    EXPECT_EQ(std::count(rest.begin(), rest.end(), "_0&G\r"), 1);
    EXPECT_EQ(rest.size(), 92u);
    EXPECT_LT(indexOf(r.frames, "_1H\r"), 40) << "the stop waited for the FIFO course to end";
    EXPECT_LE(r.latency, kWorstStepBound + kMargin) << ms(r.latency) << " ms";
}

TEST_F(StopFirstTest, DuringAnAllChannelRead) {
    for (int channel = 0; channel < CORVEXLINK_ADC_CHANNELS; ++channel)
        sim().setAdcChannel(0, channel, 300 + channel);
    std::array<int32_t, CORVEXLINK_ADC_CHANNELS> values{};
    const Interrupted r =
        interrupt([&] { return ReadAllChannelsADC("0", 12, values.data()); }, "2", 5ms, "_2H\r");
    EXPECT_EQ(r.running.result, 1) << r.running.message;
    for (int channel = 0; channel < CORVEXLINK_ADC_CHANNELS; ++channel)
        EXPECT_EQ(values[static_cast<std::size_t>(channel)], 300 + channel);
    EXPECT_EQ(r.stop, kStopDone);
    EXPECT_EQ(without(r.frames, "_2H\r"), Frames{"_0<12\r"});
    EXPECT_LE(r.latency, kWorstStepBound + kMargin) << ms(r.latency) << " ms";
}

// A stop's own failure stays with its caller; the running export's state is untouched.
TEST_F(StopFirstTest, AFailedStopReportsToItsOwnCaller) {
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    const Interrupted r = interrupt([&] { return GetConnectedControllers(list); }, "99", 300ms, "");
    EXPECT_EQ(r.stop.result, -1);
    EXPECT_EQ(r.stop.message, "Wrong Address in list");
    EXPECT_EQ(r.running.result, 1);
    EXPECT_EQ(r.running.number, CORVEXLINK_ERR_NO_ANSWER);  // the last, silent probe's
    EXPECT_EQ(r.running.message, "WriteSP: COM port timed out");
    // Once the stopping thread calls another export, it reads the line's state again.
    EXPECT_EQ(GetMotorDirection("0"), 1);
    std::async(std::launch::async, [] {
        EXPECT_EQ(MotorStop("5"), -1);  // no export runs: reported as always
        EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    }).get();
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
}

// Several stops that come while one export runs go out in the order they were called, all
// before the export's next transaction.
TEST_F(StopFirstTest, PendingStopsGoOutInTheOrderCalled) {
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    sim().clearTranscript();
    auto scan = std::async(std::launch::async, [&] { return GetConnectedControllers(list); });
    std::this_thread::sleep_for(900ms);  // inside a silent probe's wait
    // Each stop is called once the one before it has asked for its turn: the order in which
    // they are called, whatever the scheduler does with the threads.
    std::vector<std::future<int>> stops;
    for (const char *address : {"0", "1", "2", "3"}) {
        const std::uint64_t asked = corvex::test::line().gate.turnsAskedFor();
        stops.push_back(std::async(std::launch::async, [address] { return MotorStop(address); }));
        const auto giveUp = Clock::now() + 5s;
        while (corvex::test::line().gate.turnsAskedFor() == asked && Clock::now() < giveUp)
            std::this_thread::sleep_for(1ms);
        ASSERT_GT(corvex::test::line().gate.turnsAskedFor(), asked) << "stop " << address;
    }
    for (auto &s : stops) EXPECT_EQ(s.get(), 1);
    EXPECT_EQ(scan.get(), 1);
    const Frames sent = frames();
    const auto first = std::find(sent.begin(), sent.end(), "_0H\r");
    ASSERT_LE(first + 4, sent.end());
    EXPECT_EQ(Frames(first, first + 4), (Frames{"_0H\r", "_1H\r", "_2H\r", "_3H\r"}));
    EXPECT_LT(indexOf(sent, "_3H\r"), indexOf(sent, "_F\r")) << "the stops waited for the scan";
}

}  // namespace
