// SPDX-License-Identifier: MIT
// The command transaction against the simulator: answer formats and codes, silence and
// repetition, late and split answers, refused commands.
#include <cstring>
#include <thread>

#include "link_fixture.h"

using namespace std::chrono_literals;

namespace {

class TransactionTest : public LinkTest {
protected:
    // Sends `command`, the station answers `answer` (raw bytes).
    int sendWithAnswer(const char *command, std::string answer) {
        sim().scriptNextAnswer({std::move(answer)}, 0ms);
        return WriteCommandtoKX4417(command);
    }
};

TEST_F(TransactionTest, ValueAnswersSetLastValue) {
    EXPECT_EQ(sendWithAnswer("_0P", "\r\n1234\r\n>"), 1);
    EXPECT_EQ(ZelmarGetValue(), 1234);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_CLEARED);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "");

    EXPECT_EQ(sendWithAnswer("_0P", "-250>"), 1);
    EXPECT_EQ(ZelmarGetValue(), -250);

    // 'H' and 'L' are filtered out of the working text before the number is read.
    EXPECT_EQ(sendWithAnswer("_0P", "\aH 77L>"), 1);
    EXPECT_EQ(ZelmarGetValue(), 77);
}

TEST_F(TransactionTest, OneDigitIsAValueButOtherShortAnswersAreNot) {
    ASSERT_EQ(sendWithAnswer("_0P", "\r\n5000\r\n>"), 1);
    EXPECT_EQ(sendWithAnswer("_0=", "\r\n0\r\n>"), 1);  // one digit is a value
    EXPECT_EQ(ZelmarGetValue(), 0);
    EXPECT_EQ(sendWithAnswer("_0P", "7>"), 1);
    EXPECT_EQ(ZelmarGetValue(), 7);

    // One character that is not a digit, or nothing at all, is no value.
    ASSERT_EQ(sendWithAnswer("_0P", "555>"), 1);
    for (const char *answer : {">", "\r\n>", "->", "x>", "H>", " >"}) {
        SCOPED_TRACE(answer);
        EXPECT_EQ(sendWithAnswer("_0P", answer), 1);
        EXPECT_EQ(ZelmarGetValue(), 555);
    }
}

TEST_F(TransactionTest, AnswerCodesSetNumberAndMessage) {
    EXPECT_EQ(sendWithAnswer("_0Q", "?2\r\n>"), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_SYNTAX);
    EXPECT_STREQ(ZelmarGetErrorMessage(),
                 "Syntax Error: Command Not Found (command = _0Q, answer = ?2\r\n>");

    EXPECT_EQ(sendWithAnswer("_0&N5", "?3>"), 2);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_FIFO_FULL);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "FIFO FULL (command = _0&N5, answer = ?3>");

    const struct {
        const char *answer;
        int number;
        const char *prefix;
    } cases[] = {
        {"?1>", CORVEXLINK_ERR_OUT_OF_RANGE, "Parameters out of Range"},
        {"?4>", CORVEXLINK_ERR_SPI_NOT_CONFIGURED,
         "SPI need to be Configured before Read or Write"},
        {"?5>", CORVEXLINK_ERR_SPI_NOT_MASTER,
         "SPI MUST be Configured as MASTER, check USER11 State"},
        {"?6>", CORVEXLINK_ERR_MOTOR_RUNNING, "Motor is Running Can NOT Execute the Command Sent"},
        {"?7>", CORVEXLINK_ERR_LIMIT_SWITCH, "Limit Switch has been reached"},
        {"?8>", CORVEXLINK_ERR_RUNNING_DIRECTION, "Motor is Running can not set Direction"},
        {"?9>", CORVEXLINK_ERR_CANNOT_EXECUTE, "Can Not Execute command"},
        {"?12>", CORVEXLINK_ERR_UNKNOWN_CODE, "Returned error code unknown"},
        {"?0>", CORVEXLINK_ERR_UNKNOWN_CODE, "Returned error code unknown"},
        {"?>", CORVEXLINK_ERR_UNKNOWN_CODE, "Returned error code unknown"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answer);
        EXPECT_EQ(sendWithAnswer("_1R600", c.answer), -1);
        EXPECT_EQ(ZelmarGetNumberError(), c.number);
        const std::string expected =
            std::string(c.prefix) + " (command = _1R600, answer = " + c.answer;
        EXPECT_EQ(std::string(ZelmarGetErrorMessage()), expected);
    }
}

TEST_F(TransactionTest, SuppressValueKeepsLastValueButNotTheRawAnswer) {
    ASSERT_EQ(sendWithAnswer("_0P", "10>"), 1);
    corvex::test::line().suppressValue = true;
    EXPECT_EQ(sendWithAnswer("_0<10", "1,2,3,>"), 1);
    corvex::test::line().suppressValue = false;
    EXPECT_EQ(ZelmarGetValue(), 10);
    EXPECT_EQ(corvex::test::answerText(), "1,2,3,>");
}

TEST_F(TransactionTest, SilenceRepeatsOnceThenTimesOut) {
    sim().setSilent(0, true);
    long long ms = 0;
    int result = 0;
    ms = elapsedMs([&] { result = WriteCommandtoKX4417("_0P"); });

    EXPECT_EQ(result, -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "ItcCommand: COM port timed out (command = _0P)");
    EXPECT_GE(ms, 590);
    EXPECT_LT(ms, 1500);
    ASSERT_TRUE(sim().waitForFrames(3, 500ms));
    EXPECT_EQ(frames(), (std::vector<std::string>{"_0P\r", "\r", "_0P\r"}));
    EXPECT_EQ(countDiagnostics(
                  "CorvexLinkDLL: ItcCommand --> Timeout (Retry needed). Last command = _0P\n"),
              2);
    char latest[256];
    ASSERT_EQ(GetLastestCommand(latest), 1);
    EXPECT_STREQ(latest, "_0P\r");
}

TEST_F(TransactionTest, RepeatedFrameAnsweredEndsTheWait) {
    sim().dropNextFrames(1);  // the first frame is lost, the repetition is answered
    EXPECT_EQ(WriteCommandtoKX4417("_2="), 1);
    EXPECT_EQ(frames(), (std::vector<std::string>{"_2=\r", "\r", "_2=\r"}));
    EXPECT_EQ(countDiagnostics(
                  "CorvexLinkDLL: ItcCommand --> Timeout (Retry needed). Last command = _2=\n"),
              1);
}

TEST_F(TransactionTest, AnswerSplitOverSeveralReads) {
    sim().scriptNextAnswer({"1", "2", "3>"}, 40ms);
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), 1);
    EXPECT_EQ(ZelmarGetValue(), 123);
    EXPECT_EQ(corvex::test::answerText(), "123>");
}

TEST_F(TransactionTest, LateAnswerIsTakenByTheNextCommand) {
    sim().setSilent(3, true);
    ASSERT_EQ(WriteCommandtoKX4417("_3P"), -1);
    // The answer arrives while the next command waits, and is taken as its answer.
    std::thread late([this] {
        std::this_thread::sleep_for(60ms);
        sim().sendRaw("\r\n42\r\n>");
    });
    EXPECT_EQ(WriteCommandtoKX4417("_3="), 1);
    late.join();
    EXPECT_EQ(ZelmarGetValue(), 42);
}

TEST_F(TransactionTest, AnswerAfterTimeOutStaysUntilTheNextCommand) {
    sim().setSilent(1, true);
    ASSERT_EQ(WriteCommandtoKX4417("_1P"), -1);
    sim().sendRaw("99>");
    ASSERT_TRUE([&] {
        for (int i = 0; i < 100 && corvex::test::answerText() != "99>"; ++i)
            std::this_thread::sleep_for(5ms);
        return corvex::test::answerText() == "99>";
    }());
    sim().setSilent(1, false);
    ASSERT_EQ(WriteCommandtoKX4417("_1"), 1);
    EXPECT_EQ(corvex::test::answerText().find("99"), std::string::npos);
}

TEST_F(TransactionTest, OverlongAnswerIsCutAtCapacity) {
    EXPECT_EQ(sendWithAnswer("_0P", std::string(6000, 'A') + ">"), -1);
    EXPECT_EQ(ZelmarGetNumberError(),
              CORVEXLINK_ERR_NO_ANSWER);  // the prompt did not fit and was dropped
    EXPECT_EQ(corvex::test::answerText().size(), 4999u);
}

TEST_F(TransactionTest, NulBytesOnTheLineAreSkipped) {
    EXPECT_EQ(sendWithAnswer("_0P", std::string("\0\0"
                                                "5\0"
                                                "6>",
                                                7)),
              1);
    EXPECT_EQ(ZelmarGetValue(), 56);
}

TEST_F(TransactionTest, OverlongAndMissingCommandsAreRefusedUnsent) {
    const std::string longest(62, 'Y');
    const std::string tooLong(63, 'Y');
    EXPECT_EQ(WriteCommandtoKX4417(tooLong.c_str()), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_COMMAND_REJECTED);
    EXPECT_NE(std::strstr(ZelmarGetErrorMessage(), "longer than 62 characters"), nullptr);
    EXPECT_EQ(WriteCommandtoKX4417(nullptr), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_COMMAND_REJECTED);
    EXPECT_TRUE(frames().empty());

    sim().scriptNextAnswer({">"}, 0ms);
    EXPECT_EQ(WriteCommandtoKX4417(longest.c_str()), 1);
    EXPECT_EQ(frames(), std::vector<std::string>{longest + "\r"});
}

TEST_F(TransactionTest, NullBuffersAreRefused) {
    EXPECT_EQ(ZelmarGetErrorMessageVb(nullptr), -1);
    EXPECT_EQ(GetLastestCommand(nullptr), -1);
}

TEST_F(TransactionTest, ErrorMessageCopyFollowsTheState) {
    char buffer[512];
    ASSERT_EQ(sendWithAnswer("_0Q", "?2>"), -1);
    ASSERT_EQ(WriteCommandtoKX4417("_0"), 1);
    ASSERT_EQ(ZelmarGetErrorMessageVb(buffer), 1);
    EXPECT_STREQ(buffer, "");
    // A table message changes only the text; the number keeps the last value.
    ASSERT_EQ(sendWithAnswer("_0Q", "?2>"), -1);
    corvex::test::line().shared.errors.select(corvex::link::MessageEntry::SlewRate);
    ASSERT_EQ(ZelmarGetErrorMessageVb(buffer), 1);
    EXPECT_STREQ(buffer, "Wrong Slew Rate Value must be between 16 to 8500");
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_SYNTAX);
}

class ClosedPortTest : public LinkTest {
protected:
    ClosedPortTest() : LinkTest({0, 1, 2, 3}, false) {}
};

TEST_F(ClosedPortTest, CommandsBeforeAnyOpenAndAfterCloseSendNothing) {
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_PORT);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Commands cannot be sent before a COM port is open");

    ASSERT_EQ(PortOpen(1, 9600), 1);
    ASSERT_EQ(PortClose(), 1);
    sim().clearTranscript();
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_PORT);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(frames().empty());
}

}  // namespace

namespace {

TEST_F(TransactionTest, OneDigitReadingsAfterALargerValue) {
    // The station answers small values with one digit: each reading must be its own.
    sim().setPositionRaw(0, 5000);
    int32_t value = -1;
    ASSERT_EQ(MotorGetPosition("0", &value), 1);
    ASSERT_EQ(value, 5000);
    sim().setStatusOverride(0, 0);
    EXPECT_EQ(MotorGetStatusRegister("0", &value), 1);
    EXPECT_EQ(value, 0);
    sim().setUserInputs(2, 6);
    EXPECT_EQ(ReadDigitalUserIO("2", &value), 1);
    EXPECT_EQ(value, 6);
    EXPECT_EQ(ZelmarGetValue(), 6);
}

}  // namespace

namespace {

// Faults on the line that used to give a wrong value with result 1.
class LineFaultTest : public TransactionTest {
protected:
    void SetUp() override {
        TransactionTest::SetUp();
        sim().setPositionRaw(0, 777);
        sim().setPositionRaw(1, 111);
    }
};

TEST_F(LineFaultTest, BrokenAnswerBeforeTheRepeatIsDropped) {
    // The first answer breaks off (no prompt): it must not join the repeat's answer.
    for (const char *broken : {"\r\n12", "#~garbage", "\r\n12\a"}) {
        SCOPED_TRACE(broken);
        sim().clearTranscript();
        sim().scriptNextAnswer({broken}, 0ms);
        int32_t position = -1;
        EXPECT_EQ(MotorGetPosition("0", &position), 1);
        EXPECT_EQ(position, 777);
        EXPECT_EQ(frames(), (std::vector<std::string>{"_0P\r", "\r", "_0P\r"}));
    }
}

TEST_F(LineFaultTest, SecondAnswerToARepeatedFrameIsNotTakenByTheNextCommand) {
    // Answers come 250 ms late: the frame is repeated, the first answer ends the wait, and
    // the answer to the repeat arrives while the next command would be waiting.
    sim().setAnswerDelay(250ms);
    int32_t position = -1;
    EXPECT_EQ(MotorGetPosition("0", &position), 1);
    EXPECT_EQ(position, 777);
    sim().setAnswerDelay(0ms);
    EXPECT_EQ(MotorGetPosition("1", &position), 1);
    EXPECT_EQ(position, 111);
    EXPECT_EQ(MotorGetPosition("0", &position), 1);
    EXPECT_EQ(position, 777);
}

TEST_F(LineFaultTest, AnswerThatCameBeforeTheNextCommandIsDropped) {
    // The same with the second answer already in: it goes with the rest.
    sim().setAnswerDelay(250ms);
    int32_t position = -1;
    EXPECT_EQ(MotorGetPosition("0", &position), 1);
    sim().setAnswerDelay(0ms);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(MotorGetPosition("1", &position), 1);
    EXPECT_EQ(position, 111);
}

}  // namespace

namespace {

TEST_F(LineFaultTest, SlowAnswerThatSpansTheRepeatIsStillJoined) {
    // An answer whose rest comes only after the repeat: its two parts make the value.
    sim().scriptNextAnswer({"\r\n12", "34\r\n>"}, 260ms);
    int32_t position = -1;
    EXPECT_EQ(MotorGetPosition("0", &position), 1);
    EXPECT_EQ(position, 1234);
    EXPECT_EQ(frames(), (std::vector<std::string>{"_0P\r", "\r", "_0P\r"}));
}

}  // namespace
