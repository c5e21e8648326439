// SPDX-License-Identifier: MIT
// Several threads calling exports at once (scans, moves, reads, baud-rate changes, opens and
// closes), with a window event pump that calls in while a close waits: every call returns,
// the library stays consistent, and (under ThreadSanitizer) nothing races.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "link_fixture.h"

using namespace std::chrono_literals;

namespace {

class ConcurrencyTest : public LinkTest {
protected:
    ConcurrencyTest() : LinkTest({0, 1, 2, 3}, true) {}
    void TearDown() override {
        corvex::test::seams().pumpMessages = nullptr;
        LinkTest::TearDown();
    }
};

TEST_F(ConcurrencyTest, ExportsFromManyThreadsStayConsistent) {
    // Every close dispatches events; a handler sends a command from there, which must find
    // the port closed.
    std::atomic<int> pumpedCommands{0};
    std::atomic<int> pumpedCommandsSent{0};
    corvex::test::seams().pumpMessages = [&] {
        ++pumpedCommands;
        if (WriteCommandtoKX4417("_1") != -1) ++pumpedCommandsSent;
    };

    const auto until = std::chrono::steady_clock::now() + 2500ms;
    std::atomic<int> wrongPositions{0};
    std::atomic<int> badResults{0};
    std::atomic<int> calls{0};
    auto record = [&](int result, std::initializer_list<int> allowed) {
        ++calls;
        for (int a : allowed) {
            if (a == result) return;
        }
        ++badResults;
    };
    std::vector<std::function<void(int)>> roles = {
        [&](int) {
            char list[CORVEXLINK_CONTROLLER_LIST_SIZE];
            record(GetConnectedControllers(list), {1});
        },
        [&](int i) {
            record(MotorNumberStepRel("0", i % 2 == 0 ? 10 : -10), {1, -1});
            record(MotorStop("0"), {1, -1});
        },
        [&](int) {
            // Station 1 never moves: a position read that succeeds must give 0.
            int32_t position = -1;
            const int r = MotorGetPosition("1", &position);
            record(r, {1, -1});
            if (r == 1 && position != 0) ++wrongPositions;
        },
        [&](int i) {
            record(ZelmarChangeBaudRate(i % 2 == 0 ? 19200 : 9600), {1, -1});
        },
        [&](int i) {
            if (i % 2 == 0) {
                record(PortClose(), {1, -1});
            } else {
                record(PortOpen(1, 9600), {1, -1});
            }
        },
    };
    std::vector<std::thread> threads;
    for (std::size_t role = 0; role < roles.size(); ++role) {
        threads.emplace_back([&, role] {
            for (int i = 0; std::chrono::steady_clock::now() < until; ++i) roles[role](i);
        });
    }
    for (auto &t : threads) t.join();

    EXPECT_GT(calls.load(), static_cast<int>(roles.size()));
    EXPECT_EQ(badResults.load(), 0);
    EXPECT_EQ(wrongPositions.load(), 0);
    EXPECT_GT(pumpedCommands.load(), 0);
    EXPECT_EQ(pumpedCommandsSent.load(), 0);

    // The exports' view and the device agree, and the line works again once the stations
    // are brought back to 9600 baud from whichever rate they were left at.
    EXPECT_EQ(corvex::test::line().selection.open, corvex::test::line().port.isOpen());
    corvex::test::seams().pumpMessages = nullptr;
    for (int rate : {19200, 9600}) {
        ASSERT_EQ(PortOpen(1, rate), 1) << ZelmarGetErrorMessage();
        setStationTable("NNNNNNNNNNNNNNNN");
        ZelmarChangeBaudRate(9600);
    }
    ASSERT_EQ(PortOpen(1, 9600), 1);
    for (const char *probe : {"_0", "_1", "_2", "_3"})
        EXPECT_EQ(WriteCommandtoKX4417(probe), 1) << probe;
}

}  // namespace
