// SPDX-License-Identifier: MIT
// Calls that reach the library from the window events that a close dispatches while it
// waits for the receive worker: nested opens, closes and commands must find the port
// closed, fail with their usual errors and leave the device free for the next open.
#include <functional>
#include <string>

#include "link_fixture.h"

using namespace std::chrono_literals;

namespace {

// Installs a message pump that runs `action` the first time a close dispatches events,
// as a timer handler of a window program would.
class PumpHook {
public:
    explicit PumpHook(std::function<void()> action) : action_(std::move(action)) {
        corvex::test::seams().pumpMessages = [this] {
            if (!action_) return;
            auto run = std::move(action_);
            action_ = nullptr;
            run();
            ran_ = true;
        };
    }
    ~PumpHook() { corvex::test::seams().pumpMessages = nullptr; }
    PumpHook(const PumpHook &) = delete;
    PumpHook &operator=(const PumpHook &) = delete;
    bool ran() const { return ran_; }

private:
    std::function<void()> action_;
    bool ran_ = false;
};

class ReentryTest : public LinkTest {
protected:
    // The state after every nested call: closed as the exports see it, and the device
    // released, so that the next open takes it and commands flow again.
    void expectClosedThenUsable() {
        EXPECT_EQ(WriteCommandtoKX4417("_0"), -1);
        EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_PORT);
        EXPECT_EQ(PortClose(), -1);
        EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_PORT_NOT_OPEN);
        ASSERT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
        sim().clearTranscript();
        EXPECT_EQ(WriteCommandtoKX4417("_0"), 1);
        EXPECT_EQ(frames(), std::vector<std::string>{"_0\r"});
    }
};

TEST_F(ReentryTest, OpenNestedInCloseIsRefusedAndTheCloseCompletes) {
    int nested = 0;
    int nestedError = 0;
    PumpHook hook([&] {
        nested = PortOpen(1, 9600);
        nestedError = ZelmarGetNumberError();
    });
    EXPECT_EQ(PortClose(), 1);
    ASSERT_TRUE(hook.ran());
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(nestedError, CORVEXLINK_ERR_OPEN_FAILED);
    expectClosedThenUsable();
}

TEST_F(ReentryTest, OpenOfAnotherPortNestedInCloseIsRefusedToo) {
    kx4417::SimOptions options;
    options.stations = {5};
    kx4417::Simulator second(options);
    ASSERT_TRUE(second.start());
    ::setenv("CORVEXLINK_COM2", second.slavePath().c_str(), 1);
    int nested = 0;
    PumpHook hook([&] { nested = PortOpen(2, 9600); });
    EXPECT_EQ(PortClose(), 1);
    ASSERT_TRUE(hook.ran());
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
    EXPECT_EQ(WriteCommandtoKX4417("_5"), -1);  // nothing is open: not COM1, not COM2
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_PORT);
    EXPECT_TRUE(second.frameTexts().empty());
    expectClosedThenUsable();
}

TEST_F(ReentryTest, CloseNestedInCloseFindsNoPort) {
    int nested = 0;
    int nestedError = 0;
    PumpHook hook([&] {
        nested = PortClose();
        nestedError = ZelmarGetNumberError();
    });
    EXPECT_EQ(PortClose(), 1);
    ASSERT_TRUE(hook.ran());
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(nestedError, CORVEXLINK_ERR_PORT_NOT_OPEN);
    expectClosedThenUsable();
}

TEST_F(ReentryTest, CommandsNestedInCloseFailWithoutTouchingTheLine) {
    int command = 0;
    int commandError = 0;
    int position = 0;
    int32_t value = 77;
    int probe = 0;
    PumpHook hook([&] {
        command = WriteCommandtoKX4417("_0P");
        commandError = ZelmarGetNumberError();
        position = MotorGetPosition("0", &value);
        probe = CheckControllerAddress("0");  // the probe writes without any check
    });
    EXPECT_EQ(PortClose(), 1);
    ASSERT_TRUE(hook.ran());
    EXPECT_EQ(command, -1);
    EXPECT_EQ(commandError, CORVEXLINK_ERR_NO_PORT);
    EXPECT_EQ(position, -1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(probe, -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_TRUE(frames().empty());
    expectClosedThenUsable();
}

TEST_F(ReentryTest, CallsNestedInTheCloseOfAReopenLeaveTheNewPortOpen) {
    // A re-open closes the open port first and dispatches events meanwhile: a nested open
    // is refused, a nested close finds no port, and the outer open still succeeds.
    int nestedOpen = 0;
    int nestedClose = 0;
    PumpHook hook([&] {
        nestedOpen = PortOpen(1, 9600);
        nestedClose = PortClose();
    });
    ASSERT_EQ(PortOpen(1, 19200), 1) << ZelmarGetErrorMessage();
    ASSERT_TRUE(hook.ran());
    EXPECT_EQ(nestedOpen, -1);
    EXPECT_EQ(nestedClose, -1);
    EXPECT_EQ(ZelmarGetBaudRate(), 19200);
    EXPECT_EQ(sim().hostBaudRate(), 19200);
    EXPECT_EQ(PortClose(), 1);
}

}  // namespace
