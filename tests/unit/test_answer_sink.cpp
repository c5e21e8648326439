// SPDX-License-Identifier: MIT
// The answer buffer that the receive worker fills.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

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
    sink.append("4\0"
                "2>",
                4);
    EXPECT_EQ(sink.text(), "42>");
    EXPECT_TRUE(sink.complete());
}

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(AnswerSinkWait, ReturnsAtOnceForAnAnswerAlreadyThereAndTimesOutWithoutOne) {
    AnswerSink sink;
    sink.append("1>", 2);
    EXPECT_TRUE(sink.waitComplete(Clock::now()));  // deadline already passed, answer there

    sink.reset();
    const auto t0 = Clock::now();
    EXPECT_FALSE(sink.waitComplete(t0 + 50ms));
    EXPECT_GE(Clock::now() - t0, 50ms);
    sink.append("12", 2);  // no prompt: still not complete
    EXPECT_FALSE(sink.waitComplete(Clock::now() + 10ms));
}

TEST(AnswerSinkWait, WokenByThePromptFromAnotherThread) {
    AnswerSink sink;
    std::thread worker([&] {
        std::this_thread::sleep_for(30ms);  // long past the spin: the caller sleeps
        sink.append("\r\n4", 3);
        std::this_thread::sleep_for(5ms);
        sink.append("2\r\n>", 4);
    });
    EXPECT_TRUE(sink.waitComplete(Clock::now() + 5s));
    worker.join();
    EXPECT_EQ(sink.text(), "\r\n42\r\n>");
}

}  // namespace
