// SPDX-License-Identifier: MIT
// The link on an in-memory device: write failures and their one retry, answers that come a
// byte at a time, and a line that goes away, with no terminal or simulator involved.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CorvexLink.h"
#include "fake_serial_device.h"
#include "line_access.h"
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
    static void reset() { corvex::test::resetLibrary(); }
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
    EXPECT_EQ(corvex::test::line().port.write("_1\r", 3), 0);
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
    EXPECT_EQ(corvex::test::answerText(), answer);
}

TEST_F(FakeLinkTest, LostLineIsReportedOnceAndTheCloseStillWorks) {
    line_.loseLine();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (count("CorvexLink: CommWatchThread --> line lost on fake\n") == 0 &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(WriteCommandtoKX4417("_0"), -1);  // at once: the line is known to be lost
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_LINE_LOST);
    EXPECT_EQ(WriteCommandtoKX4417("_0"), -1);
    EXPECT_EQ(count("CorvexLink: CommWatchThread --> line lost on fake\n"), 1);
    EXPECT_EQ(PortClose(), 1);
    EXPECT_FALSE(corvex::test::line().port.isOpen());
}

// A worker that does not end within the close's bound keeps the device it was started with:
// the device stays valid for it, and it never reads the device of a later open nor takes
// the answers meant for that open's commands.
TEST_F(FakeLinkTest, AWorkerLeftBehindByACloseNeverReachesTheNextOpen) {
    corvex::test::FakeLine second;
    second.answer = [](const std::string &) { return std::string("\r\n42\r\n>"); };
    std::atomic<int> opens{0};
    corvex::test::seams().openDevice =
        [&](const std::string &,
            corvex::platform::OpenFailure &) -> std::unique_ptr<corvex::platform::SerialDevice> {
        return std::make_unique<corvex::test::FakeSerialDevice>(opens++ == 0 ? line_ : second);
    };
    // The fixture's port is open on the first line; reopen so the seam above is used.
    ASSERT_EQ(PortClose(), 1);
    {
        std::lock_guard<std::mutex> lock(line_.mutex);
        line_.wakeDelay = std::chrono::milliseconds(3000);
    }
    opens = 0;
    ASSERT_EQ(PortOpen(1, 9600), 1);
    ASSERT_EQ(PortClose(), 1);  // waits its bound, then leaves the worker behind
    EXPECT_EQ(count("CorvexLink: CloseCommPort --> worker did not end\n"), 1);

    ASSERT_EQ(PortOpen(1, 9600), 1);
    // Commands on the new line until well after the old worker has woken up again: each one
    // gets its own answer, and the new device is read by its own worker only.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3500);
    int commands = 0;
    while (std::chrono::steady_clock::now() < until) {
        ASSERT_EQ(WriteCommandtoKX4417("_0P"), 1) << ZelmarGetErrorMessage();
        EXPECT_EQ(ZelmarGetValue(), 42);
        ++commands;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GT(commands, 50);
    {
        std::lock_guard<std::mutex> lock(line_.mutex);
        EXPECT_EQ(line_.reads, 0) << "the old worker read its device after the close";
    }
    EXPECT_EQ(PortClose(), 1);
    corvex::test::seams().openDevice = nullptr;
}

}  // namespace
