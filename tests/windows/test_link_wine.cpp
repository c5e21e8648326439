// SPDX-License-Identifier: MIT
// The C API through the Win32 serial backend, under Wine, against kx4417-sim running as a
// Linux process: the port opened through the pty's link, the frames checked in the
// simulator's transcript, answers taken up in order, a rate change that both ends follow,
// and a line that goes away while the port is open.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CorvexLink.h"
#include "platform/diagnostics.h"
#include "remote_sim.h"
#include "line_access.h"

using namespace std::chrono_literals;

namespace {

bool runningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class WineLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        corvex::test::resetLibrary();
        corvex::platform::setDiagnosticsSink([this](const std::string &line) {
            std::lock_guard<std::mutex> lock(diagMutex_);
            diagnostics_.push_back(line);
        });
        ASSERT_TRUE(sim_.start("0-3")) << sim_.error();
        _putenv_s("CORVEXLINK_COM1", sim_.portPath().c_str());
        ASSERT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
        sim_.clearTranscript();
    }

    void TearDown() override {
        corvex::test::resetLibrary();  // closes the port while the simulator still runs
        sim_.stop();
        corvex::platform::setDiagnosticsSink({});
        _putenv_s("CORVEXLINK_COM1", "");
    }

    std::vector<std::string> frames() const { return sim_.frames(); }

    int countDiagnostics(const std::string &line) {
        std::lock_guard<std::mutex> lock(diagMutex_);
        int n = 0;
        for (const auto &d : diagnostics_) n += d == line ? 1 : 0;
        return n;
    }

    static std::string scan() {
        char found[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
        EXPECT_EQ(GetConnectedControllers(found), 1) << ZelmarGetErrorMessage();
        return found;
    }

    wintest::RemoteSim sim_{"p" + std::to_string(::GetCurrentProcessId())};

private:
    std::mutex diagMutex_;
    std::vector<std::string> diagnostics_;
};

TEST_F(WineLinkTest, ScanFindsTheStationsWithOneProbeEach) {
    EXPECT_EQ(scan(), "0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N");
    ASSERT_TRUE(sim_.waitForFrames(16, 3s));
    std::vector<std::string> expected;
    for (const char *digit :
         {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E", "F"}) {
        expected.push_back(std::string("_") + digit + "\r");
    }
    EXPECT_EQ(frames(), expected);
}

TEST_F(WineLinkTest, InitialisedMotorMovesAndItsPositionIsReadWhileItRuns) {
    EXPECT_EQ(scan().substr(0, 7), "0,1,2,3");
    ASSERT_EQ(MotorStationsInit(), 1) << ZelmarGetErrorMessage();
    ASSERT_EQ(MotorSlewRate("0", 2000), 1);
    ASSERT_EQ(MotorFirstRate("0", 200), 1);
    ASSERT_EQ(MotorNumberStepRel("0", 3000), 1);

    std::vector<std::int32_t> seen;
    const auto end = std::chrono::steady_clock::now() + 15s;
    std::int32_t position = -1;
    while (position != 3000 && std::chrono::steady_clock::now() < end) {
        ASSERT_EQ(MotorGetPosition("0", &position), 1) << ZelmarGetErrorMessage();
        seen.push_back(position);
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(position, 3000) << "the move did not end within 15 s";
    bool between = false;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        between = between || (seen[i] > 0 && seen[i] < 3000);
        if (i > 0) {
            EXPECT_GE(seen[i], seen[i - 1]) << "the position went back";
        }
    }
    EXPECT_TRUE(between) << "no read caught the motor on its way";
    std::int32_t other = -1;
    ASSERT_EQ(MotorGetPosition("1", &other), 1);
    EXPECT_EQ(other, 0) << "station 1 was not told to move";
}

TEST_F(WineLinkTest, AnswersOfManyRoundTripsStayInOrder) {
    // Each station holds its own position, so an answer taken up late, early or split
    // wrongly between the held byte and the queue shows as a wrong value.
    for (int a = 0; a < 4; ++a) {
        const std::string station = std::to_string(a);
        ASSERT_EQ(MotorSetPosition(station.c_str(), 1000 * (a + 1) + a), 1)
            << ZelmarGetErrorMessage();
    }
    for (int round = 0; round < 50; ++round) {
        for (int a = 0; a < 4; ++a) {
            const std::string station = std::to_string(a);
            std::int32_t position = -1;
            ASSERT_EQ(MotorGetPosition(station.c_str(), &position), 1) << "round " << round;
            ASSERT_EQ(position, 1000 * (a + 1) + a) << "round " << round << ", station " << a;
        }
    }
}

TEST_F(WineLinkTest, BaudRateMovesTo57600AndBackTo9600) {
    EXPECT_EQ(scan().substr(0, 7), "0,1,2,3");
    sim_.clearTranscript();
    ASSERT_EQ(ZelmarChangeBaudRate(57600), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(ZelmarGetBaudRate(), 57600);
    std::int32_t position = -1;
    EXPECT_EQ(MotorGetPosition("2", &position), 1) << "no answer at 57600";
    ASSERT_TRUE(sim_.waitForFrames(1, 2s));
    EXPECT_EQ(frames().front(), "^3\r");

    sim_.clearTranscript();
    ASSERT_EQ(ZelmarChangeBaudRate(9600), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(ZelmarGetBaudRate(), 9600);
    EXPECT_EQ(MotorGetPosition("2", &position), 1) << "no answer back at 9600";
    ASSERT_TRUE(sim_.waitForFrames(1, 2s));
    EXPECT_EQ(frames().front(), "^0\r");
}

TEST_F(WineLinkTest, LostLineIsReportedOnceAndThePortOpensAgainLater) {
    const std::string path = sim_.portPath();
    ASSERT_TRUE(sim_.stop());
    const std::string line = "CorvexLink: CommWatchThread --> line lost on " + path + "\n";
    for (int i = 0; i < 100 && countDiagnostics(line) == 0; ++i) std::this_thread::sleep_for(20ms);
    EXPECT_EQ(countDiagnostics(line), 1);

    std::int32_t position = 0;
    EXPECT_EQ(MotorGetPosition("0", &position), -1);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(countDiagnostics(line), 1) << "the worker reported the lost line again";
    EXPECT_EQ(PortClose(), 1);

    ASSERT_TRUE(sim_.start("0-3")) << sim_.error();
    _putenv_s("CORVEXLINK_COM1", sim_.portPath().c_str());
    ASSERT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(scan().substr(0, 7), "0,1,2,3");
}

TEST_F(WineLinkTest, AMissingDeviceFailsToOpen) {
    ASSERT_EQ(PortClose(), 1);
    _putenv_s("CORVEXLINK_COM1", (sim_.portPath() + ".missing").c_str());
    EXPECT_EQ(PortOpen(1, 9600), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
}

TEST_F(WineLinkTest, APortInUseCannotBeOpenedAgain) {
    if (runningUnderWine()) {
        GTEST_SKIP() << "Wine does not enforce exclusive opens (share mode 0) on a serial port";
    }
    HANDLE second = ::CreateFileA(sim_.portPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    if (second != INVALID_HANDLE_VALUE) ::CloseHandle(second);
}

}  // namespace
