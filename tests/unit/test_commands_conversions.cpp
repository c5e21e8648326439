// SPDX-License-Identifier: MIT
// Conversions between caller units and command arguments.
#include <gtest/gtest.h>

#include <iterator>

#include "CorvexLink.h"
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

// The public header's conversion, which MotorGetPosition and EncoderGetPosition apply.
TEST(SignMagnitude24, NegativeCountsAboveTheSignBit) {
    EXPECT_EQ(CorvexLinkFromSignMagnitude24(0), 0);
    EXPECT_EQ(CorvexLinkFromSignMagnitude24(2000), 2000);
    EXPECT_EQ(CorvexLinkFromSignMagnitude24(8388607), 8388607);  // the largest positive count
    EXPECT_EQ(CorvexLinkFromSignMagnitude24(8388608), 8388608);  // the sign bit alone stays
    EXPECT_EQ(CorvexLinkFromSignMagnitude24(8388609), -1);
    EXPECT_EQ(CorvexLinkFromSignMagnitude24(8388608 + 2000), -2000);
    EXPECT_EQ(CorvexLinkFromSignMagnitude24(16777215), -8388607);
    EXPECT_EQ(CORVEXLINK_COUNT_SIGN_BIT, 1 << 23);
}

TEST(StatusBitName, EveryBitHasTheNameOfItsConstantAndOthersNone) {
    const struct {
        int mask;
        const char *name;
    } bits[] = {{CORVEXLINK_STATUS_TRGD, "TRGD"},     {CORVEXLINK_STATUS_PSED, "PSED"},
                {CORVEXLINK_STATUS_ABORTD, "ABORTD"}, {CORVEXLINK_STATUS_RUNING, "RUNING"},
                {CORVEXLINK_STATUS_LS_CCW, "LS-CCW"}, {CORVEXLINK_STATUS_LS_CW, "LS-CW"},
                {CORVEXLINK_STATUS_HOME, "HOME"},     {CORVEXLINK_STATUS_READY, "READY"},
                {CORVEXLINK_STATUS_DIR, "DIR"},       {CORVEXLINK_STATUS_STALL, "STALL"}};
    ASSERT_EQ(std::size(bits), static_cast<std::size_t>(CORVEXLINK_STATUS_BIT_COUNT));
    for (int bit = 0; bit < CORVEXLINK_STATUS_BIT_COUNT; ++bit) {
        SCOPED_TRACE(bit);
        EXPECT_EQ(bits[bit].mask, 1 << bit);
        ASSERT_NE(CorvexLinkStatusBitName(bit), nullptr);
        EXPECT_STREQ(CorvexLinkStatusBitName(bit), bits[bit].name);
    }
    EXPECT_EQ(CorvexLinkStatusBitName(-1), nullptr);
    EXPECT_EQ(CorvexLinkStatusBitName(CORVEXLINK_STATUS_BIT_COUNT), nullptr);
}

TEST(FifoSlope, NegativeSlopesWrapIntoOneByte) {
    EXPECT_EQ(fifoSlopeArgument(-1), 255);
    EXPECT_EQ(fifoSlopeArgument(-255), 1);
    EXPECT_EQ(fifoSlopeArgument(-256), 0);
    EXPECT_EQ(fifoSlopeArgument(0), 0);
    EXPECT_EQ(fifoSlopeArgument(200), 200);
    EXPECT_EQ(fifoSlopeArgument(255), 255);
}
