// SPDX-License-Identifier: MIT
#include "trace.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "../platform/diagnostics.h"

namespace corvex::link::trace {

namespace {

// Events held back at most per thread until its call returns: far more than the longest
// export records (a FIFO wait with its 91 polls), and a bound on memory should a handler be
// set while a thread runs without end.
constexpr std::size_t kMaxPending = 65536;

struct Handler {
    CorvexLinkTraceHandler function = nullptr;
    void *context = nullptr;
};

std::mutex &handlerMutex() {
    static std::mutex *m = new std::mutex;  // never destroyed: usable during process exit
    return *m;
}
Handler &handler() {
    static Handler *h = new Handler;
    return *h;
}
std::atomic<bool> g_enabled{false};

struct Event {
    int kind;
    std::string bytes;
    std::uint64_t timestampNs;
    std::int64_t sinceSentNs;
};

struct Pending {
    std::vector<Event> events;
    bool delivering = false;  // a handler of this thread runs: its own calls add to the queue
    bool overflowReported = false;
};
thread_local Pending t_pending;

std::uint64_t nanoseconds(Clock::time_point t) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
}

}  // namespace

void setHandler(CorvexLinkTraceHandler function, void *context) {
    std::lock_guard<std::mutex> lock(handlerMutex());
    handler() = Handler{function, context};
    g_enabled.store(function != nullptr, std::memory_order_release);
}

bool enabled() { return g_enabled.load(std::memory_order_relaxed); }

void record(int kind, const void *bytes, std::size_t length, Clock::time_point sentAt) {
    if (!enabled()) return;
    Pending &p = t_pending;
    if (p.events.size() >= kMaxPending) {
        if (!p.overflowReported)
            platform::diag("CorvexLink: trace --> more than %zu events in one call, the rest "
                           "not traced\n",
                           kMaxPending);
        p.overflowReported = true;
        return;
    }
    const Clock::time_point now = Clock::now();
    const std::int64_t since =
        sentAt == Clock::time_point{}
            ? -1
            : std::chrono::duration_cast<std::chrono::nanoseconds>(now - sentAt).count();
    p.events.push_back(Event{kind, std::string(static_cast<const char *>(bytes), length),
                             nanoseconds(now), since});
}

void deliver() {
    Pending &p = t_pending;
    if (p.events.empty() || p.delivering) return;
    // Cleared however the loop ends, a handler's exception included.
    struct Done {
        Pending &p;
        ~Done() {
            p.events.clear();
            p.overflowReported = false;
            p.delivering = false;
        }
    } done{p};
    p.delivering = true;
    // Events that a handler's own calls record are appended and delivered in this same loop.
    for (std::size_t i = 0; i < p.events.size(); ++i) {
        Handler h;
        {
            std::lock_guard<std::mutex> lock(handlerMutex());
            h = handler();
        }
        if (h.function == nullptr) return;  // removed meanwhile: the rest is dropped
        const Event e = p.events[i];        // a copy: the handler's calls may grow the vector
        const CorvexLinkTraceEvent event{e.kind,
                                         reinterpret_cast<const unsigned char *>(e.bytes.data()),
                                         e.bytes.size(), e.timestampNs, e.sinceSentNs};
        h.function(&event, h.context);
    }
}

}  // namespace corvex::link::trace
