// SPDX-License-Identifier: MIT
// Several lines in one process, through the line forms: two simulators on two lines at
// different rates worked from several threads at once, each call reading its own error,
// a stop on one line that no work on the other delays, a lost line that leaves the other
// alone, opens that say which device failed and why, and a close that races calls and stops.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CorvexLink.h"
#include "exports/lifecycle.h"
#include "kx4417/simulator.h"
#include "line_access.h"
#include "platform/diagnostics.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A simulator with its own line opened by the device's path.
struct SimLine {
    std::unique_ptr<kx4417::Simulator> sim;
    CorvexLinkLine *line = nullptr;

    SimLine(std::vector<int> stations, int rate, bool wireTime = false) {
        kx4417::SimOptions options;
        options.stations = std::move(stations);
        options.stationBaudRate = rate;
        options.wireTime = wireTime;
        sim = std::make_unique<kx4417::Simulator>(options);
        EXPECT_TRUE(sim->start());
        CorvexLinkResult result{};
        EXPECT_EQ(CorvexLinkLineOpen(sim->slavePath().c_str(), rate, &line, &result), 1)
            << result.message;
        EXPECT_EQ(result.number, 0);
        EXPECT_EQ(std::string(result.device), sim->slavePath());
        sim->clearTranscript();
    }
    ~SimLine() {
        if (line != nullptr) CorvexLinkLineClose(line);
        sim->stop();
    }
    std::string error() const { return CorvexLinkLineGetErrorMessage(line); }
};

// Frames of `sim` that are not probes of the stations that are absent.
std::vector<std::string> frames(kx4417::Simulator &sim) { return sim.frameTexts(); }

class LinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        corvex::test::resetLibrary();
        corvex::platform::setDiagnosticsSink([](const std::string &) {});
    }
    void TearDown() override { corvex::platform::setDiagnosticsSink({}); }
};

TEST_F(LinesTest, TwoLinesWorkApartAndAtOnceEachCallWithItsOwnError) {
    SimLine a({0, 1}, 9600);
    SimLine b({0, 2}, 19200);
    ASSERT_NE(a.line, b.line);
    EXPECT_EQ(CorvexLinkLineGetBaudRate(b.line), 19200);
    char device[CORVEXLINK_PORT_PATH_SIZE];
    ASSERT_EQ(CorvexLinkLineGetDevice(b.line, device, sizeof device), 1);
    EXPECT_EQ(std::string(device), b.sim->slavePath());

    // Two threads a line move and read their own station while the other line's threads
    // do the same; a third thread on each line fails in its own way all along, and every
    // thread reads back the error of its own last call.
    constexpr int kMoves = 15;
    std::atomic<int> wrongErrors{0};
    const auto mover = [&](CorvexLinkLine *line, const char *station) {
        for (int i = 0; i < kMoves; ++i) {
            int32_t position = 0;
            if (CorvexLinkLineMotorSetPosition(line, station, i) != 1 ||
                CorvexLinkLineMotorGetPosition(line, station, &position) != 1 || position != i ||
                CorvexLinkLineGetNumberError(line) != CORVEXLINK_ERR_CLEARED)
                ++wrongErrors;
        }
    };
    const auto failer = [&](CorvexLinkLine *line, bool badAddress) {
        for (int i = 0; i < (badAddress ? kMoves : 3); ++i) {
            if (badAddress) {
                if (CorvexLinkLineMotorStop(line, "16") != -1 ||
                    std::string(CorvexLinkLineGetErrorMessage(line)) != "Wrong Address in list")
                    ++wrongErrors;
            } else {
                int32_t status = 0;  // station 5 is absent: no answer
                if (CorvexLinkLineMotorGetStatusRegister(line, "5", &status) != -1 ||
                    CorvexLinkLineGetNumberError(line) != CORVEXLINK_ERR_NO_ANSWER)
                    ++wrongErrors;
            }
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(mover, a.line, "0");
    threads.emplace_back(mover, a.line, "1");
    threads.emplace_back(mover, b.line, "0");
    threads.emplace_back(mover, b.line, "2");
    threads.emplace_back(failer, a.line, true);
    threads.emplace_back(failer, b.line, false);
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(wrongErrors.load(), 0);

    // Each line's frames reached its own simulator only.
    for (const std::string &f : frames(*a.sim)) EXPECT_NE(f, "_2P\r") << "a frame of line b";
    for (const std::string &f : frames(*b.sim)) EXPECT_NE(f, "_1P\r") << "a frame of line a";
    EXPECT_EQ(a.sim->station(1).position, kMoves - 1);
    EXPECT_EQ(b.sim->station(2).position, kMoves - 1);

    // Scans fill each line's own table; the known stations are read without probing.
    char found[CORVEXLINK_CONTROLLER_LIST_SIZE];
    ASSERT_EQ(CorvexLinkLineGetConnectedControllers(b.line, found), 1);
    EXPECT_STREQ(found, "0,N,2,N,N,N,N,N,N,N,N,N,N,N,N,N");
    ASSERT_EQ(CorvexLinkLineKnownControllers(a.line, found), 1);
    EXPECT_STREQ(found, "N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,N");
    ASSERT_EQ(CorvexLinkLineKnownControllers(b.line, found), 1);
    EXPECT_STREQ(found, "0,N,2,N,N,N,N,N,N,N,N,N,N,N,N,N");

    // The specified functions act on the default line, which is none of these.
    EXPECT_EQ(MotorStop("0"), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_PORT);
    // This thread's last call on line b was the scan, whose last probe went unanswered.
    EXPECT_EQ(CorvexLinkLineGetNumberError(b.line), CORVEXLINK_ERR_NO_ANSWER);
}

// A stop on one line goes out while the other line is busy with a scan, and a stop on a
// line that is scanning goes out between two of the scan's probes: neither waits for the
// scan's end (about 2.4 s with twelve silent addresses).
TEST_F(LinesTest, StopsAreNeverDelayedByAScan) {
    SimLine a({0}, 9600, true);
    SimLine b({0}, 9600, true);
    char found[CORVEXLINK_CONTROLLER_LIST_SIZE];
    std::thread scanA([&] { CorvexLinkLineGetConnectedControllers(a.line, found); });
    std::this_thread::sleep_for(300ms);  // into the silent addresses
    const auto otherStopped = Clock::now();
    EXPECT_EQ(CorvexLinkLineMotorStop(b.line, "0"), 1) << b.error();
    const auto otherTook = Clock::now() - otherStopped;
    const auto ownStopped = Clock::now();
    EXPECT_EQ(CorvexLinkLineMotorStop(a.line, "0"), 1) << a.error();
    const auto ownTook = Clock::now() - ownStopped;
    scanA.join();
    EXPECT_LT(otherTook, 150ms);
    EXPECT_LT(ownTook, 400ms);  // at most one silent probe's 200 ms wait, with a margin
    EXPECT_STREQ(found, "0,N,N,N,N,N,N,N,N,N,N,N,N,N,N,N");
}

TEST_F(LinesTest, ALostLineLeavesTheOtherAloneAndComesBack) {
    SimLine a({0}, 9600);
    SimLine b({0}, 9600);
    b.sim->hangUp();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(CorvexLinkLineGetState(b.line), CORVEXLINK_LINE_LOST);
    EXPECT_EQ(CorvexLinkLineMotorStop(b.line, "0"), -1);
    EXPECT_EQ(CorvexLinkLineGetNumberError(b.line), CORVEXLINK_ERR_LINE_LOST);
    EXPECT_NE(b.error().find("the line is lost"), std::string::npos) << b.error();
    int32_t position = 0;
    EXPECT_EQ(CorvexLinkLineMotorGetPosition(a.line, "0", &position), 1) << a.error();
    EXPECT_EQ(CorvexLinkLineGetState(a.line), CORVEXLINK_LINE_OPEN);

    // The device comes back under another name: a new line; under the same name: reopen.
    ASSERT_TRUE(b.sim->reconnect());
    CorvexLinkResult result{};
    EXPECT_EQ(CorvexLinkLineReopen(b.line, &result), -1);  // the old pty is gone
    EXPECT_EQ(result.reason, CORVEXLINK_OPEN_NO_DEVICE);
    EXPECT_EQ(CorvexLinkLineGetState(b.line), CORVEXLINK_LINE_NOT_OPEN);
    EXPECT_EQ(CorvexLinkLineClose(b.line), 1);
    EXPECT_EQ(CorvexLinkLineOpen(b.sim->slavePath().c_str(), 9600, &b.line, &result), 1);
    EXPECT_EQ(CorvexLinkLineMotorStop(b.line, "0"), 1) << b.error();
}

TEST_F(LinesTest, OpensSayWhichDeviceFailedAndWhy) {
    SimLine a({0}, 9600);
    CorvexLinkLine *line = nullptr;
    CorvexLinkResult result{};
    struct Case {
        const char *device;
        int rate;
        int reason;
    };
    const std::string inUse = a.sim->slavePath();
    for (const Case &c : {Case{"/dev/corvexlink-none", 9600, CORVEXLINK_OPEN_NO_DEVICE},
                          Case{inUse.c_str(), 9600, CORVEXLINK_OPEN_IN_USE},
                          Case{"/dev/null", 9600, CORVEXLINK_OPEN_NOT_SERIAL},
                          Case{"rfc2217://no-port", 9600, CORVEXLINK_OPEN_MALFORMED_NAME},
                          Case{"tcp://127.0.0.1:1", 9600, CORVEXLINK_OPEN_REFUSED},
                          Case{"", 9600, CORVEXLINK_OPEN_MALFORMED_NAME},
                          Case{nullptr, 9600, CORVEXLINK_OPEN_MALFORMED_NAME},
                          Case{inUse.c_str(), 9601, CORVEXLINK_OPEN_MALFORMED_NAME}}) {
        SCOPED_TRACE(c.device != nullptr ? c.device : "(null)");
        line = reinterpret_cast<CorvexLinkLine *>(1);
        EXPECT_EQ(CorvexLinkLineOpen(c.device, c.rate, &line, &result), -1);
        EXPECT_EQ(line, nullptr);
        EXPECT_EQ(result.number, CORVEXLINK_ERR_OPEN_FAILED);
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(std::string(result.message).rfind("Unable to open COM port: ", 0), 0u)
            << result.message;
    }
    EXPECT_EQ(CorvexLinkLineOpen("/dev/corvexlink-none", 9600, &line, &result), -1);
    EXPECT_STREQ(result.device, "/dev/corvexlink-none");
    EXPECT_STREQ(result.detail, "no such device");
    EXPECT_STREQ(result.message, "Unable to open COM port: /dev/corvexlink-none: no such device");
    EXPECT_EQ(CorvexLinkLineOpen(inUse.c_str(), 9600, &line, &result), -1);
    EXPECT_STREQ(result.detail, "in use by another line of this program");
    EXPECT_EQ(CorvexLinkLineOpen("x", 9600, nullptr, nullptr), -1);  // nothing to fill: safe

    // A handle that names no line fails the same way whatever it is; the default line's
    // handle mixes with the specified functions.
    for (CorvexLinkLine *stale :
         {static_cast<CorvexLinkLine *>(nullptr), reinterpret_cast<CorvexLinkLine *>(0x7777)}) {
        EXPECT_EQ(CorvexLinkLineMotorStop(stale, "0"), -1);
        EXPECT_EQ(CorvexLinkLineGetNumberError(stale), CORVEXLINK_ERR_LINE_CLOSED);
        EXPECT_EQ(CorvexLinkLineGetState(stale), CORVEXLINK_LINE_INVALID);
        EXPECT_EQ(CorvexLinkLineClose(stale), -1);
    }
    CorvexLinkLine *fallback = CorvexLinkDefaultLine();
    EXPECT_EQ(CorvexLinkLineGetState(fallback), CORVEXLINK_LINE_NOT_OPEN);
    EXPECT_EQ(CorvexLinkLineMotorStop(fallback, "0"), -1);
    EXPECT_EQ(CorvexLinkLineGetNumberError(fallback), CORVEXLINK_ERR_NO_PORT);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NONE);  // the shared state is apart
}

// Calls and stops on a line while another thread closes it: every call returns, those after
// the close fail with "The line is closed", and nothing is touched after it is freed
// (ASan and TSan watch this one).
TEST_F(LinesTest, ACloseRacingCallsAndStopsEndsThemCleanly) {
    kx4417::SimOptions options;
    options.stations = {0, 1};
    kx4417::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    for (int round = 0; round < 6; ++round) {
        CorvexLinkLine *line = nullptr;
        CorvexLinkResult result{};
        ASSERT_EQ(CorvexLinkLineOpen(sim.slavePath().c_str(), 9600, &line, &result), 1)
            << result.message;
        std::atomic<bool> closed{false};
        std::atomic<bool> done{false};
        std::atomic<int> afterClose{0};
        std::atomic<int> wrongAfterClose{0};
        const auto caller = [&](int kind) {
            while (!done.load()) {
                const bool wasClosed = closed.load();
                int32_t value = 0;
                char found[CORVEXLINK_CONTROLLER_LIST_SIZE];
                const int r = kind == 0   ? CorvexLinkLineMotorGetPosition(line, "1", &value)
                              : kind == 1 ? CorvexLinkLineMotorStop(line, "0")
                                          : CorvexLinkLineGetConnectedControllers(line, found);
                if (wasClosed) {
                    ++afterClose;
                    if (r != -1 || CorvexLinkLineGetNumberError(line) != CORVEXLINK_ERR_LINE_CLOSED)
                        ++wrongAfterClose;
                }
            }
        };
        std::vector<std::thread> threads;
        for (int kind = 0; kind < 3; ++kind) threads.emplace_back(caller, kind);
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 15 * round));
        const auto closing = Clock::now();
        EXPECT_EQ(CorvexLinkLineClose(line), 1);
        EXPECT_LT(Clock::now() - closing, 1s);  // the scan under way ends at its next probe
        closed = true;
        std::this_thread::sleep_for(20ms);
        done = true;
        for (std::thread &t : threads) t.join();
        EXPECT_GT(afterClose.load(), 0);
        EXPECT_EQ(wrongAfterClose.load(), 0);
        EXPECT_EQ(CorvexLinkLineClose(line), -1);
        EXPECT_EQ(std::string(CorvexLinkLineGetErrorMessage(line)), "The line is closed");
    }
    sim.stop();
}

// The unload (or the end of the process) while a thread the program did not join is inside a
// call: each line is closed once its call under way has ended, and the thread's later calls
// fail cleanly instead of racing the worker's end (ThreadSanitizer and ASan watch this one).
TEST_F(LinesTest, TheUnloadClosesEachLineAfterItsCallUnderWay) {
    SimLine a({0}, 9600);
    kx4417::SimOptions options;
    options.stations = {0};
    kx4417::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    ::setenv("CORVEXLINK_COM1", sim.slavePath().c_str(), 1);
    ASSERT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
    std::atomic<bool> done{false};
    std::atomic<int> calls{0};
    const auto daemon = [&](CorvexLinkLine *line) {
        while (!done.load()) {
            int32_t position = 0;
            if (line != nullptr)
                CorvexLinkLineMotorGetPosition(line, "0", &position);
            else
                MotorGetPosition("0", &position);
            ++calls;
        }
    };
    std::thread onDefault(daemon, nullptr);
    std::thread onLine(daemon, a.line);
    while (calls.load() < 10) std::this_thread::sleep_for(1ms);
    corvex::exports::closeLinesAtUnload();
    EXPECT_EQ(CorvexLinkLineGetState(a.line), CORVEXLINK_LINE_INVALID);
    int32_t position = 0;
    EXPECT_EQ(MotorGetPosition("0", &position), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_LINE_CLOSED);
    done = true;
    onDefault.join();
    onLine.join();
    ::unsetenv("CORVEXLINK_COM1");
    sim.stop();
}

}  // namespace
