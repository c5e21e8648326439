// SPDX-License-Identifier: MIT
// The one list of line rates: how a requested rate picks a line rate, which code moves the
// stations to a rate, and that the POSIX device can set every listed rate.
#include <gtest/gtest.h>

#include <termios.h>

#include <set>

#include "link/line_rates.h"
#include "platform/posix/termios_speed_posix.h"

using corvex::link::kLineRates;
using corvex::link::lineRateFor;
using corvex::link::stationRateCode;
using corvex::platform::termiosSpeed;

TEST(LineRates, ARequestPicksTheListedRateOfItsHundred) {
    for (const auto &r : kLineRates) {
        SCOPED_TRACE(r.rate);
        EXPECT_EQ(lineRateFor(r.rate), r.rate);
        EXPECT_EQ(lineRateFor(r.rate + 99), r.rate);  // 9699 still runs the line at 9600
        EXPECT_NE(lineRateFor(r.rate + 100), r.rate);
    }
    // No listed rate in the hundred: 0, so the line keeps its rate.
    for (int unlisted : {0, 99, 100, 600, 14400, 230400, 921600, -9600})
        EXPECT_EQ(lineRateFor(unlisted), 0) << unlisted;
}

TEST(LineRates, StationCodesNeedTheExactRateAndOtherwiseMean9600) {
    EXPECT_EQ(stationRateCode(9600), 0);
    EXPECT_EQ(stationRateCode(19200), 1);
    EXPECT_EQ(stationRateCode(38400), 2);
    EXPECT_EQ(stationRateCode(57600), 3);
    EXPECT_EQ(stationRateCode(115200), 4);
    for (int other : {300, 4800, 19250, 115201, 0, -1})
        EXPECT_EQ(stationRateCode(other), 0) << other;
    std::set<int> codes;
    for (const auto &r : kLineRates) {
        if (r.stationCode >= 0) {
            EXPECT_TRUE(codes.insert(r.stationCode).second) << r.rate;
        }
    }
}

TEST(LineRates, ThePosixDeviceCanSetEveryListedRateAndRefusesOthers) {
    for (const auto &r : kLineRates) {
        SCOPED_TRACE(r.rate);
        const speed_t code = termiosSpeed(static_cast<std::uint32_t>(r.rate));
        ASSERT_NE(code, B0);
        termios tio{};
        ASSERT_EQ(cfsetospeed(&tio, code), 0);
        EXPECT_EQ(cfgetospeed(&tio), code);
    }
    EXPECT_EQ(termiosSpeed(9600), B9600);
    EXPECT_EQ(termiosSpeed(115200), B115200);
    EXPECT_EQ(termiosSpeed(12345), B0);
    EXPECT_EQ(termiosSpeed(0), B0);
}
