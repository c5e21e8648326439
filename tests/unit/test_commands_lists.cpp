// SPDX-License-Identifier: MIT
// Motor lists, user I/O lists and the analog and FIFO argument rules, without a line:
// what is refused before anything is sent, and the state kept even when sending fails
// (no port is open here, so a command that passes its checks ends in error 25).
#include <gtest/gtest.h>

#include <string>

#include "CorvexLink.h"
#include "line_access.h"

namespace {

constexpr int kNotOpen = CORVEXLINK_ERR_NO_PORT;
constexpr int kEarlier = 77;

class ListRules : public ::testing::Test {
protected:
    void SetUp() override {
        corvex::test::resetLibrary();
        earlier();
    }
    static void earlier() { corvex::test::line().shared.errors.set(kEarlier, "earlier failure"); }
    static std::string message() { return ZelmarGetErrorMessage(); }
    static int number() { return ZelmarGetNumberError(); }
    static unsigned lines(int board) {
        return corvex::test::line().stations.boardLines[static_cast<std::size_t>(board)];
    }
    static int word(int board) {
        return corvex::test::line().stations.userOutputWord[static_cast<std::size_t>(board)];
    }
};

}  // namespace

TEST_F(ListRules, TriggerAndPauseChangeTheLineBytesBeforeSending) {
    EXPECT_EQ(MotorTriggerON("0"), -1);
    EXPECT_EQ(number(), kNotOpen);
    EXPECT_EQ(lines(0), 0xFEu);
    EXPECT_EQ(MotorTriggerON("1,5,5"), -1);
    EXPECT_EQ(lines(0), 0xFCu);
    EXPECT_EQ(lines(1), 0xFDu);
    EXPECT_EQ(MotorPauseON("5"), -1);
    EXPECT_EQ(lines(1), 0xDDu);
    EXPECT_EQ(MotorPauseOFF("5,15"), -1);
    EXPECT_EQ(lines(1), 0xFDu);
    EXPECT_EQ(lines(3), 0xFFu);
    EXPECT_EQ(MotorTriggerOFF("0,1,5"), -1);
    for (int board = 0; board < 4; ++board) EXPECT_EQ(lines(board), 0xFFu) << board;
}

TEST_F(ListRules, BadMotorListsChangeNothing) {
    for (const char *list : {"x", "1,,2", "1, 2", "ALL", "-1"}) {
        EXPECT_EQ(MotorTriggerON(list), -1) << list;
        EXPECT_EQ(number(), kEarlier) << list;
        EXPECT_EQ(message(), "earlier failure") << list;  // no message for a non-number
    }
    const std::string forty(40, '1');
    for (const char *list : {"16", "3,16", static_cast<const char *>(nullptr), forty.c_str()}) {
        EXPECT_EQ(MotorPauseON(list), -1);
        EXPECT_EQ(message(), "Wrong Address in list");
        EXPECT_EQ(number(), kEarlier);
    }
    for (int board = 0; board < 4; ++board) EXPECT_EQ(lines(board), 0xFFu) << board;
}

TEST_F(ListRules, UserIoListsRefuseMasterControllers) {
    EXPECT_EQ(ConfigureDigitalUserIO("0", 1), -1);
    EXPECT_EQ(number(), CORVEXLINK_ERR_USER_IO_REFUSED);
    EXPECT_EQ(message(), "Configure USERIO to the Controller Address :0 is not allowed");
    EXPECT_EQ(ConfigureDigitalUserIO("3,12,4", 1), -1);
    EXPECT_EQ(message(), "Configure USERIO to the Controller Address: 4 is not allowed");
    EXPECT_EQ(WriteDigitalUserIO("13,8", 1), -1);
    EXPECT_EQ(message(), "Write USERIO to the Controller Address: 8 is not allowed");
    // The word of board 3 was stored on the way: 13 comes after 8, so not here.
    EXPECT_EQ(word(3), 4096);

    // 1 is walked before 4: board 0's word is stored, then 4 refuses the write.
    EXPECT_EQ(WriteDigitalUserIO("4,1", 5), -1);
    EXPECT_EQ(number(), CORVEXLINK_ERR_USER_IO_REFUSED);
    EXPECT_EQ(message(), "Write USERIO to the Controller Address: 4 is not allowed");
    EXPECT_EQ(word(0), 4101);

    int32_t room = 42;
    EXPECT_EQ(FIFOWriteUserIO("12", 5, &room), -1);
    EXPECT_EQ(message(), "Write USERIO to the Controller Address: 12 is not allowed");
    EXPECT_EQ(room, 42);
}

TEST_F(ListRules, UserIoListsOtherwise) {
    EXPECT_EQ(WriteDigitalUserIO("1,x", 5), -1);  // not a number: no message, nothing stored
    EXPECT_EQ(number(), kEarlier);
    EXPECT_EQ(word(0), 4096);
    const std::string fiftyTwo = "1" + std::string(51, ',');
    for (const char *list : {"17", "1,16", static_cast<const char *>(nullptr), fiftyTwo.c_str()}) {
        EXPECT_EQ(WriteDigitalUserIO(list, 5), -1);
        EXPECT_EQ(message(), "Wrong Address in list");
        EXPECT_EQ(number(), kEarlier);
    }
    EXPECT_EQ(word(0), 4096);

    EXPECT_EQ(WriteDigitalUserIO("1,5,", 7), -1);
    EXPECT_EQ(number(), kNotOpen);
    EXPECT_EQ(word(0), 4103);
    EXPECT_EQ(word(1), 4103);
    EXPECT_EQ(ConfigureDigitalUserIO("9", 7), -1);  // a configuration stores nothing
    EXPECT_EQ(number(), kNotOpen);
    EXPECT_EQ(word(2), 4096);

    // The queued write applies the same rules, then takes one station only.
    earlier();
    int32_t room = 42;
    EXPECT_EQ(FIFOWriteUserIO("5,9", 3, &room), -1);
    EXPECT_EQ(message(), "Broadcasting not allowed in this command");
    EXPECT_EQ(number(), kEarlier);
    EXPECT_EQ(word(2), 4099);
    EXPECT_EQ(FIFOWriteUserIO("5", 3, nullptr), -1);
    EXPECT_EQ(message(), "Wrong Address in list");
}

TEST_F(ListRules, AnalogArgumentOrder) {
    int32_t reading = 9;
    EXPECT_EQ(GetADCchannel("1", 9, 3, &reading), -1);  // resolution before address
    EXPECT_EQ(message(), "Wrong ADC Resolution");
    EXPECT_EQ(reading, 0);
    EXPECT_EQ(GetADCchannel("1", 12, 3, &reading), -1);
    EXPECT_EQ(message(), "Wrong Address in list");
    EXPECT_EQ(GetADCchannel("0,4", 12, 3, &reading), -1);
    EXPECT_EQ(message(), "Broadcasting not allowed in this command");
    EXPECT_EQ(GetADCchannel("16", 12, 3, &reading), -1);
    EXPECT_EQ(message(), "Wrong Address in list");
    EXPECT_EQ(GetADCchannel("0", 12, 3, nullptr), -1);
    EXPECT_EQ(message(), "Wrong Address in list");
    EXPECT_EQ(number(), kEarlier);

    int32_t values[CORVEXLINK_ADC_CHANNELS] = {};
    EXPECT_EQ(ReadAllChannelsADC("1", 8, values), -1);  // address before resolution
    EXPECT_EQ(message(), "Wrong Address in list");
    EXPECT_EQ(ReadAllChannelsADC("4", 8, values), -1);
    EXPECT_EQ(message(), "Wrong ADC Resolution");
    EXPECT_EQ(ReadAllChannelsADC("4", 12, nullptr), -1);
    EXPECT_EQ(message(), "Wrong Address in list");
    EXPECT_EQ(ReadAllChannelsADC("ALL", 12, values), -1);  // leading number 0, then a group
    EXPECT_EQ(message(), "Broadcasting not allowed in this command");
    EXPECT_EQ(number(), kEarlier);
    EXPECT_EQ(ReadAllChannelsADC("8", 10, values), -1);
    EXPECT_EQ(number(), kNotOpen);
    EXPECT_FALSE(corvex::test::line().suppressValue);  // cleared again after the failure
}

TEST_F(ListRules, SlopesOutsideOneByteAreRefused) {
    int32_t room = 42;
    const char *refused = "Wrong Acceleration Value must be between 0 to 255, for TRAPEZOIDAL MODE";
    for (int slope : {-257, 256, -100000, 100000}) {
        EXPECT_EQ(FIFOMotorSlope("3", slope, &room), -1) << slope;
        EXPECT_EQ(message(), refused);
        EXPECT_EQ(number(), kEarlier);
    }
    EXPECT_EQ(room, 42);
    for (int slope : {-256, -1, 0, 255}) {
        EXPECT_EQ(FIFOMotorSlope("3", slope, &room), -1) << slope;
        EXPECT_EQ(number(), kNotOpen) << slope;
        earlier();
    }
}
