// SPDX-License-Identifier: MIT
// Moving the stations and the port to another baud rate.
#include <thread>

#include "link_fixture.h"

using namespace std::chrono_literals;

namespace {

class BaudTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        setStationTable("0123NNNNNNNNNNNN");
    }
};

TEST_F(BaudTest, StationsAndPortFollowTheNewRate) {
    EXPECT_EQ(ZelmarChangeBaudRate(57600), 1);
    EXPECT_EQ(frames(),
              (std::vector<std::string>{"^3\r", "\r", "\r", "_0\r", "_1\r", "_2\r", "_3\r"}));
    EXPECT_EQ(sim().hostBaudRate(), 57600);
    for (int a = 0; a < 4; ++a) EXPECT_EQ(sim().stationBaudRate(a), 57600);
    EXPECT_EQ(ZelmarGetBaudRate(), 57600);

    sim().clearTranscript();
    EXPECT_EQ(ZelmarChangeBaudRate(9600), 1);
    EXPECT_EQ(frames().front(), "^0\r");
    EXPECT_EQ(sim().hostBaudRate(), 9600);
}

TEST_F(BaudTest, UnknownRateSendsCodeZeroButSwitchesThePort) {
    EXPECT_EQ(ZelmarChangeBaudRate(4800), -1);
    EXPECT_EQ(sim().hostBaudRate(), 4800);
    EXPECT_EQ(sim().stationBaudRate(0), 9600);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_BAUD_RATE_CHANGE);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Can Not Change the Baud Rate to the Address : 0");
    EXPECT_EQ(frames().front(), "^0\r");
}

TEST_F(BaudTest, StopsAtTheFirstStationThatDoesNotFollow) {
    sim().setFollowsBaudChange(2, false);
    EXPECT_EQ(ZelmarChangeBaudRate(19200), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_BAUD_RATE_CHANGE);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Can Not Change the Baud Rate to the Address : 2");
    EXPECT_EQ(sim().stationBaudRate(3), 19200);  // already switched: stays switched
    EXPECT_EQ(sim().hostBaudRate(), 19200);
}

TEST_F(BaudTest, AfterCloseNothingIsSentAndTheFirstProbeFails) {
    ASSERT_EQ(PortClose(), 1);
    sim().clearTranscript();
    EXPECT_EQ(ZelmarChangeBaudRate(38400), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_BAUD_RATE_CHANGE);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Can Not Change the Baud Rate to the Address : 0");
    EXPECT_EQ(ZelmarGetBaudRate(), 38400);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(frames().empty());

    setStationTable("NNNNNNNNNNNNNNNN");
    EXPECT_EQ(ZelmarChangeBaudRate(19200), 1);
}

TEST_F(BaudTest, EmptyTableNeedsNoProbe) {
    setStationTable("NNNNNNNNNNNNNNNN");
    EXPECT_EQ(ZelmarChangeBaudRate(115200), 1);
    EXPECT_EQ(frames(), (std::vector<std::string>{"^4\r", "\r", "\r"}));
    EXPECT_EQ(sim().hostBaudRate(), 115200);
}

class NeverOpenedTest : public LinkTest {
protected:
    NeverOpenedTest() : LinkTest({0}, false) {}
};

TEST_F(NeverOpenedTest, BaudChangeBeforeAnyOpenIsRefused) {
    EXPECT_EQ(ZelmarChangeBaudRate(19200), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_PORT);
    EXPECT_EQ(ZelmarGetBaudRate(), 9600);
}

}  // namespace
