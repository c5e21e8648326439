// SPDX-License-Identifier: MIT
// The link on an in-memory device: write failures and their one retry, answers that come a
// byte at a time, and a line that goes away, with no terminal or simulator involved.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CorvexLink.h"
#include "commands/command_state.h"
#include "fake_serial_device.h"
#include "link/comm_port.h"
#include "link/transaction.h"
#include "platform/diagnostics.h"

namespace {

using Frames = std::vector<std::string>;

class FakeLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset();
        corvex::platform::setDiagnosticsSink([this](const std::string &line) {
            std::lock_guard<std::mutex> lock(diagMutex_);
            diagnostics_.push_back(line);
        });
        ASSERT_EQ(PortOpen(1, 9600), 1);
    }
    void TearDown() override {
        reset();
        corvex::platform::setDiagnosticsSink({});
    }
    static void reset() {
        corvex::link::resetPortStateForTest();
        corvex::link::resetTransactionStateForTest();
        corvex::commands::resetCommandStateForTest();
    }
    int count(const std::string &line) {
        std::lock_guard<std::mutex> lock(diagMutex_);
        int n = 0;
        for (const auto &d : diagnostics_) n += d == line ? 1 : 0;
        return n;
    }

    corvex::test::FakeLine line_;
    corvex::test::FakeLineScope scope_{line_};

private:
    std::mutex diagMutex_;
    std::vector<std::string> diagnostics_;
};

TEST_F(FakeLinkTest, AFailedWriteIsTriedOnceMore) {
    {
        std::lock_guard<std::mutex> lock(line_.mutex);
        line_.failWrites = 1;
        line_.answer = [](const std::string &) { return std::string("\r\n>"); };
    }
    EXPECT_EQ(WriteCommandtoKX4417("_0"), 1);
    EXPECT_EQ(count("CorvexLinkDLL: WriteComm --> second round\n"), 1);
    EXPECT_EQ(line_.frames(), Frames{"_0\r"});

    // Both attempts fail: nothing reaches the line, WriteComm gives 0.
    {
        std::lock_guard<std::mutex> lock(line_.mutex);
        line_.failWrites = 2;
    }
    EXPECT_EQ(corvex::link::WriteComm("_1\r", 3), 0);
    EXPECT_EQ(count("CorvexLinkDLL: WriteComm --> second round\n"), 2);
    EXPECT_EQ(line_.frames(), Frames{"_0\r"});
}

TEST_F(FakeLinkTest, WritesThatNeverGoOutTimeOutAfterTheRepeat) {
    {
        std::lock_guard<std::mutex> lock(line_.mutex);
        line_.failWrites = 100;
    }
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(590));
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    // The frame, the lone CR and the frame again, each tried twice.
    EXPECT_EQ(count("CorvexLinkDLL: WriteComm --> second round\n"), 3);
    EXPECT_TRUE(line_.frames().empty());
}

TEST_F(FakeLinkTest, AnswerTrickledInByteByByte) {
    const std::string answer = "\r\n-4321\r\n>";
    std::thread far([&] {
        // Waits for the frame, then sends the answer one byte at a time.
        for (int i = 0; i < 200 && line_.frames().empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (char c : answer) {
            line_.receive(std::string(1, c));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), 1);
    far.join();
    EXPECT_EQ(ZelmarGetValue(), -4321);
    EXPECT_EQ(corvex::link::answerText(), answer);
}

TEST_F(FakeLinkTest, LostLineIsReportedOnceAndTheCloseStillWorks) {
    line_.loseLine();
    EXPECT_EQ(WriteCommandtoKX4417("_0"), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_EQ(count("CorvexLink: CommWatchThread --> line lost on fake\n"), 1);
    EXPECT_EQ(PortClose(), 1);
    EXPECT_FALSE(corvex::link::portDeviceOpen());
}

}  // namespace
