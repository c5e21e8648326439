// SPDX-License-Identifier: MIT
// The speeds a station really runs at.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "CorvexLink.h"
#include "commands/speed_table.h"

using namespace corvex::commands;

TEST(GetFixedSpeed, KnownSpeedsOfTheThreeTables) {
    const struct {
        int requested, runs;
    } cases[] = {
        {16, 16},     {20, 18},     {100, 99},    {600, 599},   {1000, 999},
        {4095, 4077}, {4096, 4114}, {6144, 6185}, {8500, 8533}, {10239, 10240},
    };
    for (const auto &c : cases) EXPECT_EQ(GetFixedSpeed(c.requested), c.runs) << c.requested;
}

// Every entry against the formula computed independently in floating point.
TEST(GetFixedSpeed, TablesFollowTheirFormulas) {
    const auto nearest = [](double exact) { return static_cast<long>(std::floor(exact + 0.5)); };
    for (std::size_t i = 0; i < kDivisorsLow.size(); ++i) {
        EXPECT_EQ(kDivisorsLow[i], nearest(921600.0 / (16.0 * (i + 1)))) << "T1 " << i;
    }
    for (std::size_t i = 0; i < kDivisorsMid.size(); ++i) {
        EXPECT_EQ(kDivisorsMid[i], nearest(921600.0 / (4112.0 + 32.0 * i))) << "T2 " << i;
    }
    for (std::size_t i = 0; i < kDivisorsHigh.size(); ++i) {
        const double exact = 921600.0 / (6176.0 + 32.0 * i);
        if (i == 63) {
            EXPECT_EQ(exact, 112.5);
            EXPECT_EQ(kDivisorsHigh[i], 112);  // the one exact half goes down
        } else {
            EXPECT_EQ(kDivisorsHigh[i], nearest(exact)) << "T3 " << i;
        }
    }
}

TEST(GetFixedSpeed, RisesWithTheRequestAndStaysCloseAtHighSpeeds) {
    int previous = 0;
    for (int speed = kMinTableSpeed; speed <= kMaxTableSpeed; ++speed) {
        const int runs = GetFixedSpeed(speed);
        ASSERT_GE(runs, previous) << speed;
        if (speed >= 1000) {
            ASSERT_LT(std::abs(runs - speed), speed / 50) << speed;
        }
        previous = runs;
    }
}

TEST(GetFixedSpeed, RequestsOutsideTheTablesTakeTheNearestEnd) {
    for (int speed : {15, 0, -1, -16, INT_MIN}) EXPECT_EQ(GetFixedSpeed(speed), 16) << speed;
    for (int speed : {10240, 10241, 65535, INT_MAX})
        EXPECT_EQ(GetFixedSpeed(speed), 10240) << speed;
}
