// SPDX-License-Identifier: MIT
#include "trace.h"

#include <string>
#include <vector>

#include "../platform/diagnostics.h"
#include "line.h"

namespace corvex::link::trace {

namespace {

// Events held back at most per thread until its call returns: far more than the longest
// export records (a FIFO wait with its 91 polls), and a bound on memory should a handler be
// set while a thread runs without end.
constexpr std::size_t kMaxPending = 65536;

struct Event {
    std::shared_ptr<Line> line;
    std::string lineName;
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
thread_local RecordingScope *t_scope = nullptr;

std::uint64_t nanoseconds(Clock::time_point t) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
}

}  // namespace

void Hub::setHandler(CorvexLinkTraceHandler function, void *context) {
    enabled_.store(function != nullptr, std::memory_order_release);
    slot_.set(Handler{function, context});
    enabled_.store(function != nullptr, std::memory_order_release);
}

bool Hub::deliver(const CorvexLinkTraceEvent &event) {
    return slot_.call([&](const Handler &h) { h.function(&event, h.context); });
}

RecordingScope::RecordingScope(const std::shared_ptr<Line> &line) noexcept
    : line_(line), previous_(t_scope) {
    t_scope = this;
}

RecordingScope::~RecordingScope() { t_scope = previous_; }

void record(int kind, const void *bytes, std::size_t length, Clock::time_point sentAt) {
    const RecordingScope *scope = t_scope;
    if (scope == nullptr || !scope->line() || !scope->line()->trace.enabled()) return;
    Pending &p = t_pending;
    if (p.events.size() >= kMaxPending) {
        if (!p.overflowReported)
            // %lu, not %zu: the Windows C runtime's printf does not know the z size.
            platform::diag("CorvexLink: trace --> more than %lu events in one call, the rest "
                           "not traced\n",
                           static_cast<unsigned long>(kMaxPending));
        p.overflowReported = true;
        return;
    }
    const Clock::time_point now = Clock::now();
    const std::int64_t since =
        sentAt == Clock::time_point{}
            ? -1
            : std::chrono::duration_cast<std::chrono::nanoseconds>(now - sentAt).count();
    p.events.push_back(Event{scope->line(), scope->line()->deviceName(), kind,
                             std::string(static_cast<const char *>(bytes), length),
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
        const Event e = p.events[i];  // a copy: the handler's calls may grow the vector
        const CorvexLinkTraceEvent event{
            e.kind,         reinterpret_cast<const unsigned char *>(e.bytes.data()),
            e.bytes.size(), e.timestampNs,
            e.sinceSentNs,  e.lineName.c_str()};
        e.line->trace.deliver(event);  // a handler removed meanwhile: the event is dropped
    }
}

}  // namespace corvex::link::trace
