// SPDX-License-Identifier: MIT
// Finding the stations on the line and bringing them to their defaults.
#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

#include "link_fixture.h"

using namespace std::chrono_literals;
using Frames = std::vector<std::string>;

namespace {

std::string scan() {
    char buffer[CORVEXLINK_CONTROLLER_LIST_SIZE + 8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetConnectedControllers(buffer), 1);
    // Never more than the documented size, NUL included.
    EXPECT_EQ(buffer[CORVEXLINK_CONTROLLER_LIST_SIZE], '#');
    return buffer;
}

// The frames of one station's defaults after its board is set up.
Frames stationDefaults(int address, const char *dac) {
    const std::string p = "_" + std::string(1, "0123456789ABCDEF"[address]);
    const std::string userIo = "_" + std::string(1, "0123456789ABCDEF"[address / 4 * 4 + 1]);
    return {userIo + "U" + dac + "\r",
            userIo + "W0\r",
            userIo + "W4096\r",
            p + "+\r",
            p + "R600\r",
            p + "F100\r",
            p + "S50\r",
            p + "M33\r"};
}

Frames boardSetUp(int board) {
    const char master = "048C"[board], userIo = "159D"[board];
    const std::string m = std::string("_") + master, u = std::string("_") + userIo;
    return {m + "O128\r", m + "C5887\r", m + "W5887\r", u + "C5632\r", u + "W4096\r", u + "O198\r"};
}

Frames operator+(Frames a, const Frames &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Injects `fault` once the stations have received `index` frames and acted on the last
// of them: all answers are delayed by kDelay, so the library cannot send the next frame
// before the fault is in place.
class FaultAtFrame {
public:
    FaultAtFrame(kx4417::Simulator &sim, std::size_t index, std::function<void()> fault)
        : sim_(sim), index_(index) {
        sim_.setAnswerDelay(kDelay);
        watcher_ = std::thread([this, fault = std::move(fault)] {
            if (index_ == 0) {
                fault();
            } else if (sim_.waitForFrames(index_, 20s)) {
                std::this_thread::sleep_for(kSettle);  // the station acts on the frame
                fault();
            }
        });
        if (index_ == 0) watcher_.join();
    }
    ~FaultAtFrame() {
        if (watcher_.joinable()) watcher_.join();
        sim_.setAnswerDelay(0ms);
    }

private:
    static constexpr auto kDelay = 40ms;
    static constexpr auto kSettle = 15ms;
    kx4417::Simulator &sim_;
    std::size_t index_ = 0;
    std::thread watcher_;
};

using DiscoveryTest = LinkTest;  // stations 0 to 3

TEST_F(DiscoveryTest, ScanFindsOneBoard) {
    EXPECT_EQ(scan(), "0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N");
    EXPECT_STREQ(corvex::test::stationTable(), "0123NNNNNNNNNNNN");
    EXPECT_EQ(frames(), (Frames{"_0\r", "_1\r", "_2\r", "_3\r", "_4\r", "_5\r", "_6\r", "_7\r",
                                "_8\r", "_9\r", "_A\r", "_B\r", "_C\r", "_D\r", "_E\r", "_F\r"}));
    // The probes of the missing stations leave their time-out in the error state.
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "WriteSP: COM port timed out");
}

TEST_F(DiscoveryTest, CheckOneAddress) {
    EXPECT_EQ(CheckControllerAddress("2"), 1);
    EXPECT_EQ(frames(), Frames{"_2\r"});
    EXPECT_EQ(CheckControllerAddress("9"), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    sim().clearTranscript();
    EXPECT_EQ(CheckControllerAddress("ALL"), -1);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Broadcasting not allowed in this command");
    EXPECT_EQ(CheckControllerAddress("1,2"), -1);
    EXPECT_EQ(CheckControllerAddress("16"), -1);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Wrong Address in list");
    EXPECT_EQ(CheckControllerAddress(nullptr), -1);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(frames().empty());
}

TEST_F(DiscoveryTest, InitialiseOneBoard) {
    ASSERT_EQ(scan(), "0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N");
    ASSERT_EQ(MotorSetCurrent("2", 800), -1);  // the SPI is not configured yet: refused
    sim().clearTranscript();
    ASSERT_EQ(MotorStationsInit(), 1) << ZelmarGetErrorMessage();
    const Frames expected = Frames{"_0I\r", "_1I\r", "_2I\r", "_3I\r", "^0\r", "\r",
                                   "\r",    "_0\r",  "_1\r",  "_2\r",  "_3\r"} +
                            boardSetUp(0) + stationDefaults(0, "5") + stationDefaults(1, "517") +
                            stationDefaults(2, "1114") + stationDefaults(3, "1541");
    EXPECT_EQ(frames(), expected);
    // The 800 mA asked for earlier is what station 2 gets (code 90 at place 2).
    EXPECT_EQ(sim().station(2).windingCurrentCode, 90);
    EXPECT_EQ(sim().station(0).mode, 33);
    EXPECT_EQ(sim().station(3).slewRate, 600);
}

TEST_F(DiscoveryTest, InitialiseWithoutScanOnlyMovesTheLine) {
    EXPECT_EQ(MotorStationsInit(), 1);
    EXPECT_EQ(frames(), (Frames{"^0\r", "\r", "\r"}));
}

TEST_F(DiscoveryTest, InitialiseAtAnotherRateComesBackToIt) {
    setStationTable("0123NNNNNNNNNNNN");
    ASSERT_EQ(ZelmarChangeBaudRate(19200), 1);
    sim().clearTranscript();
    EXPECT_EQ(MotorStationsInit(), 1) << ZelmarGetErrorMessage();
    const Frames probes{"_0\r", "_1\r", "_2\r", "_3\r"};
    const Frames expected = Frames{"_0I\r", "_1I\r", "_2I\r", "_3I\r", "^0\r", "\r", "\r"} +
                            probes + Frames{"^1\r", "\r", "\r"} + probes + boardSetUp(0);
    const Frames sent = frames();
    ASSERT_GE(sent.size(), expected.size());
    EXPECT_EQ(Frames(sent.begin(), sent.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(sim().hostBaudRate(), 19200);
    EXPECT_EQ(sim().stationBaudRate(3), 19200);
}

TEST_F(DiscoveryTest, SecondRateChangeFailureKeepsItsOwnError) {
    setStationTable("0123NNNNNNNNNNNN");
    ASSERT_EQ(ZelmarChangeBaudRate(19200), 1);
    sim().clearTranscript();
    const Frames probes{"_0\r", "_1\r", "_2\r", "_3\r"};
    const Frames expected = Frames{"_0I\r", "_1I\r", "_2I\r", "_3I\r", "^0\r", "\r", "\r"} +
                            probes + Frames{"^1\r", "\r", "\r"} + probes;
    // Station 2 goes quiet once the host has sent "^1" to move the line back to its rate.
    ASSERT_EQ(expected[11], "^1\r");
    FaultAtFrame silence(sim(), 12, [&] { sim().setSilent(2, true); });
    EXPECT_EQ(MotorStationsInit(), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_BAUD_RATE_CHANGE);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Can Not Change the Baud Rate to the Address : 2");
}

class AllStationsTest : public LinkTest {
protected:
    AllStationsTest() : LinkTest({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}) {}
};

TEST_F(AllStationsTest, ScanFindsSixteen) {
    const std::string list = scan();
    EXPECT_EQ(list, "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15");
    EXPECT_EQ(list.size(), 37u);
    EXPECT_STREQ(corvex::test::stationTable(), "0123456789ABCDEF");
}

class NoStationTest : public LinkTest {
protected:
    NoStationTest() : LinkTest({}) {}
};

TEST_F(NoStationTest, ScanFindsNone) {
    const std::string list = scan();
    EXPECT_EQ(list, "N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,N");
    EXPECT_EQ(list.size(), 31u);
    EXPECT_STREQ(corvex::test::stationTable(), "NNNNNNNNNNNNNNNN");
}

using ElevenTest = LinkTestWith<11>;

TEST_F(ElevenTest, StationElevenSetsUpBoardTwo) {
    ASSERT_EQ(scan(), "N,N,N,N,N,N,N,N,N,N,N,11,N,N,N,N");
    EXPECT_EQ(corvex::test::stationTable()[11], 'B');
    sim().clearTranscript();
    // Controllers 8 and 9 are not there: the board set-up fails at the master's SPI
    // configuration and names station 11.
    EXPECT_EQ(MotorStationsInit(), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_INIT_FAILED);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Can Not ConfigureSPI, Ctrlr. Address: 11");
    EXPECT_EQ(frames(),
              (Frames{"_BI\r", "^0\r", "\r", "\r", "_B\r", "_8O128\r", "\r", "_8O128\r"}));
}

using BoardTwoTest = LinkTestWith<8, 9, 11>;

TEST_F(BoardTwoTest, StationElevenAloneOnItsBoard) {
    setStationTable("NNNNNNNNNNNBNNNN");
    EXPECT_EQ(MotorStationsInit(), 1) << ZelmarGetErrorMessage();
    const Frames expected =
        Frames{"_BI\r", "^0\r", "\r", "\r", "_B\r"} + boardSetUp(2) + stationDefaults(11, "1541");
    EXPECT_EQ(frames(), expected);
}

// A station that fails in one step of the initialisation ends it with that step's
// message; nothing is sent after the failing frame.
TEST_F(DiscoveryTest, EachStepFailureNamesItsStep) {
    setStationTable("01NNNNNNNNNNNNNN");
    const Frames clean = Frames{"_0I\r", "_1I\r", "^0\r", "\r", "\r", "_0\r", "_1\r"} +
                         boardSetUp(0) + stationDefaults(0, "5") + stationDefaults(1, "517");
    const struct {
        const char *frame;
        int station, code;
        const char *message;
    } failures[] = {
        {"_1I\r", 1, 9, "Can Not Reset Motor Address: 1"},
        {"_0O128\r", 0, 9, "Can Not ConfigureSPI, Ctrlr. Address: 0"},
        {"_1U517\r", 1, 4, "Can Not Set Default Motor Current, Ctrlr. Address: 1"},
        {"_1+\r", 1, 8, "Can Not Set Motor Direction, Ctrlr. Address: 1"},
        {"_1F100\r", 1, 1, "Can Not Set Default Motor Speed, Ctrlr. Address: 1"},
        {"_1M33\r", 1, 1, "Can Not Set Default Motor Step Mode, Ctrlr. Address: 1"},
    };
    for (const auto &f : failures) {
        SCOPED_TRACE(f.frame);
        sim().clearTranscript();
        const auto at = std::find(clean.begin(), clean.end(), f.frame);
        ASSERT_NE(at, clean.end());
        const auto index = static_cast<std::size_t>(at - clean.begin());
        {
            FaultAtFrame fault(sim(), index, [&] { sim().answerErrorCode(f.station, f.code, 1); });
            EXPECT_EQ(MotorStationsInit(), -1);
        }
        EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_INIT_FAILED);
        EXPECT_STREQ(ZelmarGetErrorMessage(), f.message);
        const Frames sent = frames();
        EXPECT_EQ(sent, Frames(clean.begin(), clean.begin() + static_cast<long>(index) + 1))
            << "sent " << sent.size() << ", last " << (sent.empty() ? "" : sent.back());
    }
}

}  // namespace
