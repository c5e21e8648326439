// SPDX-License-Identifier: MIT
// The answer rules on their own: what is kept, when an answer is complete, and what it
// means (error code, value, working text).
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "link/answer_parser.h"

using corvex::link::AnswerKind;
using corvex::link::AnswerResult;
using corvex::link::parseAnswer;

namespace {

AnswerResult parse(const std::string &bytes) { return parseAnswer(bytes.data(), bytes.size()); }

TEST(AnswerParser, ValuesAndWhatIsNotAValue) {
    const struct {
        std::string bytes;
        bool hasValue;
        int value;
    } cases[] = {
        {"\r\n1234\r\n>", true, 1234},
        {"-250>", true, -250},
        {"\r\n0\r\n>", true, 0},  // one digit is a value
        {"7>", true, 7},
        {"\aH 77L>", true, 77},   // BEL, H and L are not part of the working text
        {"  +12abc>", true, 12},  // blanks, a sign, digits up to the first non-digit
        {"ab>", true, 0},         // two characters without digits: the value 0
        {">", false, 0},
        {"\r\n>", false, 0},
        {"->", false, 0},  // one character that is not a digit
        {"x>", false, 0},
        {"99999999999999>", true, INT_MAX},  // saturates
        {"-99999999999999>", true, INT_MIN},
        {"12>34", true, 12},  // the last character is dropped, not the prompt
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        const AnswerResult r = parse(c.bytes);
        EXPECT_EQ(r.kind, AnswerKind::Success);
        EXPECT_EQ(r.hasValue, c.hasValue);
        if (c.hasValue) {
            EXPECT_EQ(r.value, c.value);
        }
    }
}

TEST(AnswerParser, ErrorCodes) {
    const struct {
        std::string bytes;
        int code;
    } cases[] = {
        {"?2\r\n>", 2},     {"?3>", 3}, {"?12>", 12},
        {"?0>", 0},         {"?>", 0},  {"?1234>", 123},  // at most three digits
        {"\r\n?9\r\n>", 9},  // CR and LF go before the '?' is looked for
        {"?x5>", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        const AnswerResult r = parse(c.bytes);
        EXPECT_EQ(r.kind, AnswerKind::Error);
        EXPECT_EQ(r.code, c.code);
        EXPECT_FALSE(r.hasValue);
    }
    // A lone question mark without a prompt is not an answer yet.
    EXPECT_EQ(parse("?").kind, AnswerKind::Incomplete);
}

TEST(AnswerParser, CompletenessAndTheKeptText) {
    EXPECT_EQ(parse("").kind, AnswerKind::Incomplete);
    EXPECT_EQ(parse("\r\n1234\r\n").kind, AnswerKind::Incomplete);
    EXPECT_EQ(parseAnswer(nullptr, 5).kind, AnswerKind::Incomplete);

    // NUL bytes are skipped, the rest is kept.
    const AnswerResult nul = parse(std::string("\0\0"
                                               "5\0"
                                               "6>",
                                               7));
    EXPECT_EQ(nul.value, 56);
    EXPECT_STREQ(nul.text, "56>");

    // A prompt beyond the capacity is dropped with the rest.
    EXPECT_EQ(parse(std::string(6000, 'A') + ">").kind, AnswerKind::Incomplete);
    const AnswerResult justFits = parse(std::string(corvex::link::kAnswerCapacity - 1, 'A') + ">");
    EXPECT_EQ(justFits.kind, AnswerKind::Success);
    // The working text holds at most 99 characters.
    EXPECT_EQ(justFits.textLength, corvex::link::kWorkingTextSize - 1);
    EXPECT_EQ(std::string(justFits.text).size(), corvex::link::kWorkingTextSize - 1);
}

TEST(AnswerBuffer, PromptIsSeenWhicheverChunkBringsIt) {
    corvex::link::AnswerBuffer buffer;
    EXPECT_FALSE(buffer.append("12", 2));
    EXPECT_TRUE(buffer.append("3>\r\n", 4));
    EXPECT_EQ(buffer.text(), "123>\r\n");
    EXPECT_TRUE(buffer.append("x", 1));  // stays complete
    buffer.clear();
    EXPECT_FALSE(buffer.complete());
    EXPECT_EQ(buffer.text(), "");
}

}  // namespace

namespace {

// Line noise on lines before the answer (garbage before a frame's answer) is left out; a
// clean answer, which holds text on one line at most, reads as it always has.
TEST(AnswerParser, NoiseLinesBeforeTheAnswerDoNotChangeIt) {
    const struct {
        std::string bytes;
        AnswerKind kind;
        int valueOrCode;
    } cases[] = {
        {"xy\r\n12345\r\n>", AnswerKind::Success, 12345},
        {"\x13\x7f\r\n4321\r\n>", AnswerKind::Success, 4321},
        {"ab\r\ncd\r\n777\r\n>", AnswerKind::Success, 777},
        {"\xff\xfe\r\n-250\r\n>", AnswerKind::Success, -250},
        {"junk\r\n?6\r\n>", AnswerKind::Error, 6},     // an error answer stays an error
        {"12345\r\nxy>", AnswerKind::Success, 12345},  // noise after the value changes nothing
        {"9 lives\r\n\r\n55\r\n>", AnswerKind::Success, 55},  // the last line that reads
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        const AnswerResult r = parse(c.bytes);
        EXPECT_EQ(r.kind, c.kind);
        if (c.kind == AnswerKind::Success) {
            EXPECT_TRUE(r.hasValue);
            EXPECT_EQ(r.value, c.valueOrCode);
        } else {
            EXPECT_EQ(r.code, c.valueOrCode);
        }
    }

    // Without a line that reads as an answer the whole text counts, as for one line.
    const AnswerResult none = parse("xy\r\nzz\r\n>");
    EXPECT_TRUE(none.hasValue);
    EXPECT_EQ(none.value, 0);
    EXPECT_EQ(none.lineStart, 0u);

    // Clean answers start where they always did.
    for (const std::string clean : {"\r\n1234\r\n>", "?2\r\n>", "\r\n10,20,30,\r\n>", "\aH 77L>"}) {
        SCOPED_TRACE(clean);
        EXPECT_EQ(parse(clean).lineStart, 0u);
    }
    EXPECT_EQ(parse("xy\r\n10,20,\r\n>").lineStart, 4u);
}

}  // namespace
