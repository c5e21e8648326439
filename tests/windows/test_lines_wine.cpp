// SPDX-License-Identifier: MIT
// The line API of CorvexLink.dll under Wine: two lines on two simulators (Linux processes,
// reached through their pty links), each opened by its device path, worked from two threads
// each at once; every frame reaches its own simulator only, every thread reads its own
// errors, and closing one line leaves the other working. Linked against the DLL itself, so
// the line exports are the DLL's.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "CorvexLink.h"
#include "remote_sim.h"

using namespace std::chrono_literals;

namespace {

struct WineLine {
    wintest::RemoteSim sim;
    CorvexLinkLine *line = nullptr;

    explicit WineLine(const std::string &name, const char *stations) : sim(name) {
        EXPECT_TRUE(sim.start(stations)) << sim.error();
        CorvexLinkResult result{};
        EXPECT_EQ(CorvexLinkLineOpen(sim.portPath().c_str(), 9600, &line, &result), 1)
            << result.message;
        sim.clearTranscript();
    }
    ~WineLine() {
        if (line != nullptr) CorvexLinkLineClose(line);
    }
};

TEST(WineLines, TwoLinesFromOneProgramEachWithItsOwnFramesAndErrors) {
    const std::string pid = std::to_string(::GetCurrentProcessId());
    WineLine a("la" + pid, "0,1");
    WineLine b("lb" + pid, "0,2");
    ASSERT_NE(a.line, nullptr);
    ASSERT_NE(b.line, nullptr);

    std::atomic<int> wrong{0};
    const auto worker = [&](CorvexLinkLine *line, const char *station) {
        for (int i = 1; i <= 8; ++i) {
            int32_t position = 0;
            if (CorvexLinkLineMotorSetPosition(line, station, i * 10) != 1 ||
                CorvexLinkLineMotorGetPosition(line, station, &position) != 1 || position != i * 10)
                ++wrong;
        }
        if (CorvexLinkLineMotorStop(line, "16") != -1 ||
            std::string(CorvexLinkLineGetErrorMessage(line)) != "Wrong Address in list")
            ++wrong;
    };
    std::vector<std::thread> threads;
    threads.emplace_back(worker, a.line, "0");
    threads.emplace_back(worker, a.line, "1");
    threads.emplace_back(worker, b.line, "0");
    threads.emplace_back(worker, b.line, "2");
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);

    ASSERT_TRUE(a.sim.waitForFrames(32, 5s));
    ASSERT_TRUE(b.sim.waitForFrames(32, 5s));
    for (const std::string &f : a.sim.frames()) EXPECT_EQ(f.find("_2"), std::string::npos) << f;
    for (const std::string &f : b.sim.frames()) EXPECT_EQ(f.find("_1"), std::string::npos) << f;

    char found[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    EXPECT_EQ(CorvexLinkLineGetConnectedControllers(b.line, found), 1);
    EXPECT_STREQ(found, "0,N,2,N,N,N,N,N,N,N,N,N,N,N,N,N");

    // Closing one line ends its handle; the other keeps working.
    EXPECT_EQ(CorvexLinkLineClose(a.line), 1);
    EXPECT_EQ(CorvexLinkLineMotorStop(a.line, "0"), -1);
    EXPECT_EQ(CorvexLinkLineGetNumberError(a.line), CORVEXLINK_ERR_LINE_CLOSED);
    a.line = nullptr;
    EXPECT_EQ(CorvexLinkLineMotorStop(b.line, "2"), 1) << CorvexLinkLineGetErrorMessage(b.line);

    // An open that fails says which device and why, without any debug text.
    CorvexLinkLine *none = nullptr;
    CorvexLinkResult result{};
    EXPECT_EQ(CorvexLinkLineOpen("Z:\\corvexlink\\no-such-device", 9600, &none, &result), -1);
    EXPECT_EQ(result.reason, CORVEXLINK_OPEN_NO_DEVICE) << result.message;
}

}  // namespace
