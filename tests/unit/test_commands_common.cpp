// SPDX-License-Identifier: MIT
// The common course of the command exports, without a line: argument errors are found
// before anything is sent (only the message changes), and a command that passes its
// checks reaches the transaction, which reports that no port is open (error 25).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "CorvexLink.h"
#include "commands/command.h"
#include "exports/course.h"
#include "line_access.h"

using namespace corvex::commands;

namespace {

constexpr int kNotOpen = CORVEXLINK_ERR_NO_PORT;
constexpr int kEarlier = 77;  // an error number left by an earlier call

class CommonCourse : public ::testing::Test {
protected:
    void SetUp() override {
        corvex::test::resetLibrary();
        corvex::test::line().shared.errors.set(kEarlier, "earlier failure");
    }
    static std::string message() { return ZelmarGetErrorMessage(); }
    // The call was refused with `text` before anything was attempted on the line.
    static void expectRefused(int result, const char *text) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(message(), text);
        EXPECT_EQ(ZelmarGetNumberError(), kEarlier);
    }
    // The call passed its checks and went on to the transaction.
    static void expectSent(int result) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(ZelmarGetNumberError(), kNotOpen);
        corvex::test::line().shared.errors.set(kEarlier, "earlier failure");
    }
};

constexpr const char *kWrongAddress = "Wrong Address in list";
constexpr const char *kBroadcast = "Broadcasting not allowed in this command";

}  // namespace

TEST_F(CommonCourse, WrongAddressTextsAreRefusedWithEntryOne) {
    const std::string overlong(64, '1');
    for (const char *text : {static_cast<const char *>(nullptr), "", "x", "1,,2", " 3", "16",
                             "99999999999", "0,16", overlong.c_str()}) {
        SCOPED_TRACE(text ? text : "(null)");
        if (text != nullptr && *text == '\0') continue;  // the empty text is a group, below
        expectRefused(MotorStop(text), kWrongAddress);
    }
}

TEST_F(CommonCourse, GroupsAreRefusedOrTakenPerCommand) {
    expectRefused(MotorStop("ALL"), kBroadcast);
    expectRefused(MotorStop("3,3"), kBroadcast);
    expectRefused(MotorStop(""), kBroadcast);
    expectSent(MotorSoftReset("all"));
    expectSent(MotorPowerOFF("0,1,"));
    expectSent(MotorStop("15"));
}

TEST_F(CommonCourse, RangesAreCheckedAfterTheAddress) {
    expectRefused(MotorSlewRate("0,1", 1), kBroadcast);
    expectRefused(MotorSlewRate("3", 15), "Wrong Slew Rate Value must be between 16 to 8500");
    expectRefused(MotorSlewRate("3", 8501), "Wrong Slew Rate Value must be between 16 to 8500");
    expectSent(MotorSlewRate("3", 16));
    expectSent(MotorSlewRate("3", 8500));
    expectRefused(MotorFirstRate("3", 15), "Wrong First Rate Value must be between 16 to 8500");
    expectRefused(MotorFirstRate("3", 8501), "Wrong First Rate Value must be between 16 to 8500");
    expectSent(MotorFirstRate("3", 16));
    expectSent(MotorFirstRate("3", 8500));
    const char *accel = "Wrong Acceleration Value must be between 0 to 255, for TRAPEZOIDAL MODE";
    expectRefused(MotorAccelDecel("3", -1), accel);
    expectRefused(MotorAccelDecel("3", 256), accel);
    expectSent(MotorAccelDecel("3", 0));
    expectSent(MotorAccelDecel("3", 255));
    expectSent(MotorSpeed("3", 1, 99999, -7));  // no checks on the combined call
}

TEST_F(CommonCourse, CurrentIsCheckedBeforeTheAddressAndRememberedBeforeSending) {
    const char *current = "Wrong Current Value need to be from 50(mA) to 2000 (mA)";
    expectRefused(MotorSetCurrent("x", 49), current);
    expectRefused(MotorSetCurrent("x", 2001), current);
    expectRefused(MotorSetCurrent("x", 50), kWrongAddress);
    expectRefused(MotorSetCurrent("16", 2000), kWrongAddress);
    expectRefused(MotorSetCurrent("ALL", 800), kBroadcast);
    expectSent(MotorSetCurrent("6", 800));
    EXPECT_EQ(corvex::test::line().stations.windingCurrent[6], 800);
    EXPECT_EQ(corvex::test::line().stations.windingCurrent[5], 50);
}

TEST_F(CommonCourse, NullOutParametersAreRefusedAndOthersZeroedFirst) {
    expectRefused(MotorGetPosition("3", nullptr), kWrongAddress);
    expectRefused(EncoderGetPosition("3", nullptr), kWrongAddress);
    expectRefused(MotorGetStatusRegister("3", nullptr), kWrongAddress);
    expectRefused(ReadSPI("1", nullptr), kWrongAddress);
    expectRefused(GetConnectedControllers(nullptr), kWrongAddress);

    int32_t position = 1234;
    expectRefused(MotorGetPosition("1,2", &position), kBroadcast);
    EXPECT_EQ(position, 0);
    position = 1234;
    expectSent(MotorGetPosition("3", &position));
    EXPECT_EQ(position, 0);
    int32_t spi = 1234;
    expectSent(ReadSPI("1", &spi));
    EXPECT_EQ(spi, 1234);  // untouched on failure
}

TEST_F(CommonCourse, DirectionTableFollowsMotorDirectionOnly) {
    EXPECT_EQ(GetMotorDirection("4"), 1);
    expectSent(MotorDirection("4", 0));  // stored even though nothing could be sent
    EXPECT_EQ(GetMotorDirection("4"), 0);
    EXPECT_EQ(GetMotorDirection("5"), 1);
    expectSent(MotorJog("4", 1));
    EXPECT_EQ(GetMotorDirection("4"), 0);
    expectRefused(MotorDirection("4,5", 1), kBroadcast);
    expectRefused(GetMotorDirection("16"), kWrongAddress);
    expectRefused(GetMotorDirection(nullptr), kWrongAddress);
    expectSent(MotorDirection("4", 7));
    EXPECT_EQ(GetMotorDirection("4"), 1);
}

TEST(FormatCommand, EveryArgumentForm) {
    const auto text = [](const char *address, const Command &command, int32_t value) {
        corvex::link::Call call = corvex::test::sharedCall();
        const auto target = resolveTarget(call, address, Groups::Allowed);
        return target ? std::string(formatCommand(*target, command, value).data())
                      : std::string("refused");
    };
    EXPECT_EQ(text("3", Command{'R', Arg::Signed}, 600), "_3R600");
    EXPECT_EQ(text("10", Command{'H'}, 0), "_AH");
    EXPECT_EQ(text("0,1", Command{'+'}, 0), "0003+");
    EXPECT_EQ(text("ALL", Command{'T', Arg::Signed}, -2147483647 - 1), "FFFFT-2147483648");
    EXPECT_EQ(text("5", Command{'U', Arg::Unsigned}, -1), "_5U4294967295");
    EXPECT_EQ(text("12", Command{'S', Arg::Signed, Groups::Refused, std::nullopt, true}, 255),
              "_C&S255");
    EXPECT_EQ(text("12", Command{'G', Arg::None, Groups::Refused, std::nullopt, true}, 9), "_C&G");
}

TEST(Guarded, ExceptionsBecomeAnErrorResult) {
    corvex::test::resetLibrary();
    EXPECT_EQ(corvex::exports::commandCall(
                  corvex::exports::defaultTarget(),
                  [](corvex::link::Call &) -> int { throw std::runtime_error("boom"); }),
              -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_UNKNOWN_CODE);
    EXPECT_NE(std::string(ZelmarGetErrorMessage()).find("boom"), std::string::npos);
    EXPECT_EQ(corvex::exports::commandCall(corvex::exports::defaultTarget(),
                                           [](corvex::link::Call &) { return 1; }),
              1);
}
