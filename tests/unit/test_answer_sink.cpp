// The answer buffer that the receive worker fills.
#include <gtest/gtest.h>

#include <string>

#include "link/comm_port.h"

using corvex::link::AnswerSink;

TEST(AnswerSink, CompleteOnlyOnceThePromptArrives) {
    AnswerSink sink;
    sink.append("12", 2);
    EXPECT_FALSE(sink.complete());
    sink.append("3>\r\n", 4);  // characters after the prompt are kept
    EXPECT_TRUE(sink.complete());
    EXPECT_EQ(sink.text(), "123>\r\n");
    sink.reset();
    EXPECT_FALSE(sink.complete());
    EXPECT_EQ(sink.text(), "");
}

TEST(AnswerSink, NeverGrowsBeyondCapacity) {
    AnswerSink sink;
    const std::string block(80, 'x');
    for (int i = 0; i < 70; ++i) sink.append(block.data(), block.size());
    EXPECT_EQ(sink.text().size(), static_cast<std::size_t>(corvex::link::kAnswerCapacity));
    sink.append(">", 1);  // does not fit: dropped
    EXPECT_FALSE(sink.complete());
}

TEST(AnswerSink, NulBytesAreSkippedNotTreatedAsTheEnd) {
    AnswerSink sink;
    sink.append("4\0" "2>", 4);
    EXPECT_EQ(sink.text(), "42>");
    EXPECT_TRUE(sink.complete());
}
