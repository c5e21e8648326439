// SPDX-License-Identifier: MIT
// The public debug handler: a caller's function receives the library's debug lines with
// its context, removing it stops them, and a later handler replaces an earlier one.
#include <mutex>

#include "link_fixture.h"

namespace {

struct Collected {
    std::mutex mutex;
    std::vector<std::string> lines;
};

void collect(const char *line, void *context) {
    auto *c = static_cast<Collected *>(context);
    std::lock_guard<std::mutex> lock(c->mutex);
    c->lines.emplace_back(line);
}

const char *kTimeoutLine =
    "CorvexLinkDLL: ItcCommand --> Timeout (Retry needed). Last command = _0P\n";

}  // namespace

class DebugHandlerTest : public LinkTest {
protected:
    void TearDown() override {
        CorvexLinkSetDebugHandler(nullptr, nullptr);
        LinkTest::TearDown();
    }
};

TEST_F(DebugHandlerTest, TheHandlerGetsEachLineWithItsContextUntilItIsRemoved) {
    Collected first, second;
    ASSERT_EQ(CorvexLinkSetDebugHandler(collect, &first), 1);
    sim().setSilent(0, true);
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), -1);
    EXPECT_EQ(first.lines, (std::vector<std::string>{kTimeoutLine, kTimeoutLine}));
    EXPECT_EQ(diagnostics(), std::vector<std::string>{})
        << "a line reached the internal sink as well";

    ASSERT_EQ(CorvexLinkSetDebugHandler(collect, &second), 1);
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), -1);
    EXPECT_EQ(first.lines.size(), 2u) << "the replaced handler was still called";
    EXPECT_EQ(second.lines.size(), 2u);

    ASSERT_EQ(CorvexLinkSetDebugHandler(nullptr, &second), 1);
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), -1);
    EXPECT_EQ(second.lines.size(), 2u) << "the removed handler was still called";
}
