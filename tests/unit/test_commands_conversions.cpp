// SPDX-License-Identifier: MIT
// Conversions between caller units and command arguments.
#include <gtest/gtest.h>

#include "commands/conversions.h"

using namespace corvex::commands;

TEST(WindingCurrentCode, KnownCodes) {
    EXPECT_EQ(windingCurrentCode(50), 5);
    EXPECT_EQ(windingCurrentCode(800), 90);  // 90.86
    EXPECT_EQ(windingCurrentCode(1000), 113);
    EXPECT_EQ(windingCurrentCode(2000), 227);
    EXPECT_EQ(windingCurrentCode(3000), 255);  // capped at one byte
}

TEST(WindingCurrentCode, EveryAcceptedCurrentFitsItsByteAndRises) {
    int previous = 0;
    for (int mA = kMinCurrentMilliamps; mA <= kMaxCurrentMilliamps; ++mA) {
        const int code = windingCurrentCode(mA);
        ASSERT_GE(code, previous) << mA;
        ASSERT_LE(code, 255) << mA;
        previous = code;
    }
}

TEST(SignMagnitude24, NegativeCountsAboveTheSignBit) {
    EXPECT_EQ(fromSignMagnitude24(0), 0);
    EXPECT_EQ(fromSignMagnitude24(2000), 2000);
    EXPECT_EQ(fromSignMagnitude24(8388608), 8388608);  // the sign bit alone stays positive
    EXPECT_EQ(fromSignMagnitude24(8388609), -1);
    EXPECT_EQ(fromSignMagnitude24(8388608 + 2000), -2000);
    EXPECT_EQ(fromSignMagnitude24(16777215), -8388607);
}

TEST(FifoSlope, NegativeSlopesWrapIntoOneByte) {
    EXPECT_EQ(fifoSlopeArgument(-1), 255);
    EXPECT_EQ(fifoSlopeArgument(-255), 1);
    EXPECT_EQ(fifoSlopeArgument(-256), 0);
    EXPECT_EQ(fifoSlopeArgument(0), 0);
    EXPECT_EQ(fifoSlopeArgument(200), 200);
    EXPECT_EQ(fifoSlopeArgument(255), 255);
}
