// SPDX-License-Identifier: MIT
// The frame trace through the C API: every frame and answer with its bytes and times, the
// repeats and time-outs as events, handed over once the call has let go of the line.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <stdexcept>
#include <thread>

#include "link_fixture.h"

using namespace std::chrono_literals;

namespace {

struct Seen {
    int kind;
    std::string bytes;
    std::uint64_t timestampNs;
    std::int64_t sinceSentNs;
};

class TraceTest : public LinkTest {
protected:
    void TearDown() override {
        CorvexLinkSetTraceHandler(nullptr, nullptr);
        LinkTest::TearDown();
    }

    static void collect(const CorvexLinkTraceEvent *e, void *context) {
        auto *self = static_cast<TraceTest *>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->seen_.push_back({e->kind,
                               std::string(reinterpret_cast<const char *>(e->bytes), e->length),
                               e->timestampNs, e->sinceSentNs});
    }
    void start() { CorvexLinkSetTraceHandler(&TraceTest::collect, this); }
    std::vector<Seen> seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    std::vector<std::pair<int, std::string>> kindsAndBytes() {
        std::vector<std::pair<int, std::string>> out;
        for (const Seen &s : seen()) out.emplace_back(s.kind, s.bytes);
        return out;
    }

    std::mutex mutex_;
    std::vector<Seen> seen_;
};

using Events = std::vector<std::pair<int, std::string>>;

TEST_F(TraceTest, FramesAndAnswersInOrderWithTheirBytesAndTimes) {
    start();
    ASSERT_EQ(WriteCommandtoKX4417("_0P"), 1);
    ASSERT_EQ(MotorSlewRate("1", 700), 1);
    EXPECT_EQ(kindsAndBytes(), (Events{{CORVEXLINK_TRACE_SENT, "_0P\r"},
                                       {CORVEXLINK_TRACE_RECEIVED, "\r\n0\r\n>"},
                                       {CORVEXLINK_TRACE_SENT, "_1R700\r"},
                                       {CORVEXLINK_TRACE_RECEIVED, "\r\n>"}}));
    const std::vector<Seen> s = seen();
    for (std::size_t i = 1; i < s.size(); ++i) EXPECT_LE(s[i - 1].timestampNs, s[i].timestampNs);
    EXPECT_EQ(s[0].sinceSentNs, -1);
    EXPECT_GE(s[1].sinceSentNs, 0);
    EXPECT_LT(s[1].sinceSentNs, 200'000'000);  // answered within the first wait
    EXPECT_LE(static_cast<std::uint64_t>(s[1].sinceSentNs), s[1].timestampNs - s[0].timestampNs);

    // Removed: nothing more is seen.
    CorvexLinkSetTraceHandler(nullptr, nullptr);
    ASSERT_EQ(WriteCommandtoKX4417("_0P"), 1);
    EXPECT_EQ(seen().size(), 4u);
}

TEST_F(TraceTest, ARepeatAndATimeOutAreEvents) {
    sim().setSilent(2, true);
    start();
    EXPECT_EQ(WriteCommandtoKX4417("_2P"), -1);
    EXPECT_EQ(kindsAndBytes(), (Events{{CORVEXLINK_TRACE_SENT, "_2P\r"},
                                       {CORVEXLINK_TRACE_REPEAT, "_2P\r"},
                                       {CORVEXLINK_TRACE_SENT, "\r"},
                                       {CORVEXLINK_TRACE_SENT, "_2P\r"},
                                       {CORVEXLINK_TRACE_TIMEOUT, "_2P\r"}}));
    EXPECT_GE(seen().back().sinceSentNs, 590'000'000);  // three answer waits

    // A scan's silent probe times out without a repeat.
    setStationTable("NNNNNNNNNNNNNNNN");
    seen_.clear();
    EXPECT_EQ(CheckControllerAddress("9"), -1);
    EXPECT_EQ(kindsAndBytes(),
              (Events{{CORVEXLINK_TRACE_SENT, "_9\r"}, {CORVEXLINK_TRACE_TIMEOUT, "_9\r"}}));
}

// The handler runs once the call has released the line: it may call the library itself,
// and while a slow handler runs, another thread's calls go ahead and lose no answer.
TEST_F(TraceTest, AHandlerMayCallInAndASlowOneHoldsUpNobodyElse) {
    struct Context {
        std::atomic<std::thread::id> slowThread{};
        std::atomic<int> answers{0};
        std::promise<void> sleeping;
    } context;
    CorvexLinkSetTraceHandler(
        [](const CorvexLinkTraceEvent *e, void *c) {
            auto *ctx = static_cast<Context *>(c);
            if (std::this_thread::get_id() != ctx->slowThread.load()) return;
            if (e->kind != CORVEXLINK_TRACE_RECEIVED || ctx->answers++ != 0) return;
            int32_t position = -1;
            EXPECT_EQ(MotorGetPosition("1", &position), 1);  // a call from the handler
            ctx->sleeping.set_value();
            std::this_thread::sleep_for(600ms);  // then a slow handler
        },
        &context);
    auto slow = std::async(std::launch::async, [&context] {
        context.slowThread = std::this_thread::get_id();
        return WriteCommandtoKX4417("_0P");
    });
    context.sleeping.get_future().wait();
    // The slow thread is inside its handler: this thread's calls go ahead meanwhile.
    const long long others = elapsedMs([] {
        for (int i = 0; i < 5; ++i) EXPECT_EQ(WriteCommandtoKX4417("_3P"), 1);
    });
    EXPECT_LT(others, 500) << "another thread waited for a slow handler";
    EXPECT_EQ(slow.get(), 1);
    EXPECT_EQ(context.answers.load(), 2);  // its own answer, then the nested call's
}

TEST_F(TraceTest, AHandlerThatThrowsChangesNoResult) {
    CorvexLinkSetTraceHandler(
        [](const CorvexLinkTraceEvent *, void *) { throw std::runtime_error("handler"); }, nullptr);
    EXPECT_EQ(WriteCommandtoKX4417("_0P"), 1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_CLEARED);
    EXPECT_EQ(WriteCommandtoKX4417("_1P"), 1);
}

// Removing or replacing a handler while another thread's call hands over its events: the
// removal returns only once that delivery has ended, so the caller may free its context at
// once (this crashed while the removal returned at once), and a handler may remove itself.
TEST_F(TraceTest, AHandlerIsRemovedOnlyOnceNoOtherThreadIsInsideIt) {
    struct Context {
        std::atomic<int> calls{0};
        char bytes[64] = {};
    };
    const auto touch = [](const CorvexLinkTraceEvent *e, void *context) {
        auto *c = static_cast<Context *>(context);
        std::this_thread::sleep_for(200us);  // a slow handler widens the window
        std::memcpy(c->bytes, e->bytes, std::min<std::size_t>(e->length, sizeof c->bytes));
        ++c->calls;
        EXPECT_STREQ(e->line, "COM1");
    };
    std::atomic<bool> done{false};
    std::thread reader([&] {
        int32_t position = 0;
        while (!done.load()) MotorGetPosition("0", &position);
    });
    int delivered = 0;
    for (int i = 0; i < 150; ++i) {
        auto *context = new Context;
        CorvexLinkSetTraceHandler(+touch, context);
        std::this_thread::sleep_for(1ms);
        CorvexLinkSetTraceHandler(nullptr, nullptr);
        delivered += context->calls.load();
        std::memset(static_cast<void *>(context), 0xEE, sizeof *context);  // as freeing does
        delete context;
    }
    done = true;
    reader.join();
    EXPECT_GT(delivered, 0);

    // A handler that removes itself, from inside its own delivery, returns.
    static std::atomic<int> selfRemoved{0};
    CorvexLinkSetTraceHandler(
        [](const CorvexLinkTraceEvent *, void *) {
            CorvexLinkSetTraceHandler(nullptr, nullptr);
            ++selfRemoved;
        },
        nullptr);
    EXPECT_EQ(MotorStop("0"), 1);
    EXPECT_EQ(selfRemoved.load(), 1);
}

}  // namespace
