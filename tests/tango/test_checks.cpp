// SPDX-License-Identifier: MIT
// The Tango server's pure logic: written values turned into what the library takes (or
// refused), the port setting, the scan's list, the status register read as a state.
#include "checks.h"
#include "failure.h"

#include <CorvexLink.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace corvextango;

namespace {

// The message of the argument Failure thrown by `call`, or "" when none was thrown.
template <class Call>
std::string refusal(Call &&call) {
    try {
        call();
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.kind(), FailureKind::Argument);
        EXPECT_EQ(failure.reason(), "CorvexLink_ArgumentError");
        return failure.what();
    }
    return "";
}

}  // namespace

TEST(TangoChecks, WholeNumbersInRangePassUnchanged) {
    EXPECT_EQ(wholeNumber(-8388607.0, -CORVEXLINK_COUNT_MAX, CORVEXLINK_COUNT_MAX, "Position"),
              -8388607);
    EXPECT_EQ(wholeNumber(8388607.0, -CORVEXLINK_COUNT_MAX, CORVEXLINK_COUNT_MAX, "Position"),
              8388607);
    EXPECT_EQ(wholeNumber(16.0, CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX, "Velocity"), 16);
    EXPECT_EQ(wholeNumber(-0.0, -1, 1, "Zero"), 0);
}

TEST(TangoChecks, ValuesThatNoFrameMayCarryAreRefused) {
    // 1e12 and 2^31 must never be cast to int32: the cast wraps to a value in range.
    for (double bad :
         {1e12, -1e12, 2147483648.0, 8388608.0, -8388608.0, 1e300, 0.5, 100.25, std::nan(""),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        const std::string message = refusal([&] {
            wholeNumber(bad, -CORVEXLINK_COUNT_MAX, CORVEXLINK_COUNT_MAX, "Position", "steps");
        });
        EXPECT_NE(message.find("Position must be a whole number from -8388607 to 8388607 steps"),
                  std::string::npos)
            << bad << ": " << message;
        EXPECT_NE(message.find("nothing was sent"), std::string::npos);
    }
    EXPECT_NE(refusal([] {
                  wholeNumber(1e12, -CORVEXLINK_COUNT_MAX, CORVEXLINK_COUNT_MAX, "Position");
              }).find("; 1000000000000 was refused"),
              std::string::npos);
    EXPECT_NE(refusal([] {
                  inRange(2001, CORVEXLINK_CURRENT_MIN, CORVEXLINK_CURRENT_MAX, "Current", "mA");
              }).find("Current must be a whole number from 50 to 2000 mA; 2001 was refused"),
              std::string::npos);
    EXPECT_EQ(inRange(2000, CORVEXLINK_CURRENT_MIN, CORVEXLINK_CURRENT_MAX, "Current"), 2000);
    EXPECT_EQ(
        refusal([] { inRange(15, CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX, "Velocity"); }).empty(),
        false);
}

TEST(TangoChecks, StationRates) {
    for (long rate : {9600L, 19200L, 38400L, 57600L, 115200L}) EXPECT_TRUE(isStationRate(rate));
    for (long rate : {0L, 300L, 4800L, 9601L, 230400L}) EXPECT_FALSE(isStationRate(rate));
    EXPECT_EQ(stationRates(), "9600, 19200, 38400, 57600 or 115200");
    // The Rate property: a station rate in plain decimal, nothing else.
    EXPECT_EQ(stationRateOf("19200"), 19200);
    for (const char *bad :
         {"0", "-9600", "4800", "9600.0", " 9600", "9600 baud", "", "fast", "99999999999999999999"})
        EXPECT_FALSE(stationRateOf(bad)) << bad;
}

TEST(TangoChecks, PortSettings) {
    EXPECT_EQ(portName("1"), "COM1");
    EXPECT_EQ(portName("COM3"), "COM3");
    EXPECT_EQ(portName("com12"), "COM12");
    EXPECT_EQ(portName("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(portName("tcp://10.0.0.5:4001"), "tcp://10.0.0.5:4001");
    EXPECT_EQ(portName("COM"), "COM");  // not a number: a (missing) device name
    EXPECT_FALSE(portName(""));
    EXPECT_FALSE(portName("0"));
    EXPECT_FALSE(portName("COM0"));
}

TEST(TangoChecks, StationList) {
    EXPECT_EQ(parseStationList("0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N"), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(parseStationList("N,N,N,N,N,5,N,N,N,N,N,N,N,N,N,15"), (std::vector<int>{5, 15}));
    EXPECT_TRUE(parseStationList("N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,N").empty());
    EXPECT_TRUE(parseStationList("").empty());
    EXPECT_EQ(parseStationList("16,3"), (std::vector<int>{3}));
}

TEST(TangoChecks, StatusRegisterAsState) {
    const MotorReading idle = readStatus(CORVEXLINK_STATUS_READY | CORVEXLINK_STATUS_HOME);
    EXPECT_EQ(idle.condition, MotorCondition::Idle);
    EXPECT_EQ(idle.status, "Idle (status register 0x0C0: HOME, READY)");

    EXPECT_EQ(readStatus(CORVEXLINK_STATUS_RUNING | CORVEXLINK_STATUS_DIR).condition,
              MotorCondition::Moving);
    // Moving away from an active switch is moving.
    EXPECT_EQ(readStatus(CORVEXLINK_STATUS_RUNING | CORVEXLINK_STATUS_LS_CW).condition,
              MotorCondition::Moving);

    const MotorReading cw = readStatus(CORVEXLINK_STATUS_LS_CW | CORVEXLINK_STATUS_ABORTD);
    EXPECT_EQ(cw.condition, MotorCondition::Alarm);
    EXPECT_EQ(cw.status,
              "The clockwise limit switch is active (status register 0x024: ABORTD, LS-CW)");
    EXPECT_EQ(readStatus(CORVEXLINK_STATUS_LS_CCW).status.rfind("The counter-clockwise", 0), 0u);
    EXPECT_EQ(
        readStatus(CORVEXLINK_STATUS_LS_CCW | CORVEXLINK_STATUS_LS_CW).status.rfind("Both", 0), 0u);
    EXPECT_EQ(readStatus(0).status, "Idle (status register 0x000: none)");
}

TEST(TangoChecks, StatusBitAttributeNames) {
    EXPECT_EQ(statusBitAttribute(0), "TRGD");
    EXPECT_EQ(statusBitAttribute(4), "LS_CCW");
    EXPECT_EQ(statusBitAttribute(5), "LS_CW");
    EXPECT_EQ(statusBitAttribute(9), "STALL");
}

TEST(TangoChecks, AddressFromDeviceName) {
    EXPECT_EQ(addressFromName("corvex/motor/0"), 0);
    EXPECT_EQ(addressFromName("corvex/motor/15"), 15);
    EXPECT_FALSE(addressFromName("corvex/motor/16"));
    EXPECT_FALSE(addressFromName("corvex/motor/x"));
    EXPECT_FALSE(addressFromName("corvex/motor/"));
    EXPECT_FALSE(addressFromName("corvex/motor/123"));
}
