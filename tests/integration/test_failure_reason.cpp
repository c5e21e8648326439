// SPDX-License-Identifier: MIT
// Exports of several transactions: when one step fails and a later step succeeds, the
// export still fails and reports the step that failed (its number and message), never an
// empty reason.
#include <functional>
#include <string>

#include "link_fixture.h"
#include "tap_device.h"

using namespace std::chrono_literals;

namespace {

class FailureReasonTest : public LinkTest {
protected:
    FailureReasonTest() : LinkTest({0, 1, 2, 3}, false) {}
    void SetUp() override {
        LinkTest::SetUp();
        tap_ = std::make_unique<corvex::test::TapScope>();
        ASSERT_EQ(PortOpen(1, 9600), 1);
        ASSERT_EQ(ConfigureSPI("1", 0xC6), 1);  // the current is set over board 0's SPI bus
        sim().clearTranscript();
    }
    void TearDown() override {
        LinkTest::TearDown();
        tap_.reset();
    }
    // The station answers "?9" (and does nothing) to the first frame that starts with
    // `frame`.
    void failFrame(const std::string &frame, int address) {
        tap_->onceBefore(frame, [this, address] { sim().answerErrorCode(address, 9, 1); });
    }

private:
    std::unique_ptr<corvex::test::TapScope> tap_;
};

TEST_F(FailureReasonTest, FailedStepIsReportedAfterLaterStepsSucceed) {
    int32_t out = 0;
    const struct {
        const char *name;
        const char *frame;  // the step made to fail
        int address;        // the station that answers it
        std::function<int()> call;
        const char *expectedMessage;  // "" for the station's answer to `frame`
        int expectedNumber;
    } cases[] = {
        // The strobe of the user outputs fails; the restoring write after it succeeds.
        {"current, strobe", "_1W0\r", 1, [] { return MotorSetCurrent("0", 500); }, "",
         CORVEXLINK_ERR_CANNOT_EXECUTE},
        {"current, restore", "_1W4096\r", 1, [] { return MotorSetCurrent("0", 500); }, "",
         CORVEXLINK_ERR_CANNOT_EXECUTE},
        {"current, SPI", "_1U", 1, [] { return MotorSetCurrent("2", 500); }, "",
         CORVEXLINK_ERR_CANNOT_EXECUTE},
        {"speed, first rate", "_0F", 0, [] { return MotorSpeed("0", 600, 100, 50); }, "",
         CORVEXLINK_ERR_CANNOT_EXECUTE},
        {"jog, start", "_2J", 2, [] { return MotorJog("2", 1); }, "",
         CORVEXLINK_ERR_CANNOT_EXECUTE},
        {"analog, conversion", "_0Z", 0, [&] { return GetADCchannel("0", 12, 3, &out); }, "",
         CORVEXLINK_ERR_CANNOT_EXECUTE},
        {"analog, closing write", "_0W8191", 0, [&] { return GetADCchannel("0", 12, 3, &out); }, "",
         CORVEXLINK_ERR_CANNOT_EXECUTE},
        {"initialisation, step mode", "_3M33", 3, [] { return MotorStationsInit(); },
         "Can Not Set Default Motor Step Mode, Ctrlr. Address: 3", CORVEXLINK_ERR_INIT_FAILED},
        {"initialisation, current", "_1W0\r", 1, [] { return MotorStationsInit(); },
         "Can Not Set Default Motor Current, Ctrlr. Address: 0", CORVEXLINK_ERR_INIT_FAILED},
    };
    setStationTable("0123NNNNNNNNNNNN");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim().clearTranscript();
        failFrame(c.frame, c.address);
        EXPECT_EQ(c.call(), -1);
        const std::string message = ZelmarGetErrorMessage();
        EXPECT_EQ(ZelmarGetNumberError(), c.expectedNumber);
        if (c.expectedMessage[0] != '\0') {
            EXPECT_EQ(message, c.expectedMessage);
        } else {
            std::string command = c.frame;
            if (!command.empty() && command.back() == '\r') command.pop_back();
            EXPECT_EQ(message.rfind("Can Not Execute command (command = " + command, 0), 0u)
                << message;
        }
    }
}

TEST_F(FailureReasonTest, CurrentStillRestoresTheOutputsAfterAFailedStrobe) {
    failFrame("_1W0\r", 1);
    EXPECT_EQ(MotorSetCurrent("0", 500), -1);
    const auto sent = frames();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], "_1W0\r");
    EXPECT_EQ(sent[2], "_1W4096\r");
}

TEST_F(FailureReasonTest, ArgumentErrorsAndSuccessesAreUnchanged) {
    // A failure before anything is sent keeps the message of the table with the previous
    // number; a success after a failure leaves the cleared state.
    failFrame("_0F", 0);
    ASSERT_EQ(MotorSpeed("0", 600, 100, 50), -1);
    EXPECT_EQ(MotorSlewRate("0", 5), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_CANNOT_EXECUTE);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Wrong Slew Rate Value must be between 16 to 8500");
    EXPECT_EQ(MotorSpeed("0", 600, 100, 50), 1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_CLEARED);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "");
}

}  // namespace
