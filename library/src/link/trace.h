// SPDX-License-Identifier: MIT
// The frame trace: every frame sent, every answer taken up, the repeats and the time-outs,
// collected on the thread that makes the call and handed to the handler of the call's line
// once the call has let go of the line. With no handler set, recording costs one atomic load.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "CorvexLink.h"
#include "../platform/callback_slot.h"

namespace corvex::link {
class Line;
}

namespace corvex::link::trace {

using Clock = std::chrono::steady_clock;

struct Handler {
    CorvexLinkTraceHandler function = nullptr;
    void *context = nullptr;
    explicit operator bool() const { return function != nullptr; }
};

// A line's trace handler.
class Hub {
public:
    // Sets (or with NULL removes) the handler; safe from any thread at any time. Returns once
    // no other thread is inside a call of the handler it replaced (see CallbackSlot).
    void setHandler(CorvexLinkTraceHandler handler, void *context);
    // Whether a handler is set: the recording points check this first.
    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }
    // Hands one event to the handler; false when none is set (any more).
    bool deliver(const CorvexLinkTraceEvent &event);

private:
    platform::CallbackSlot<Handler> slot_;
    std::atomic<bool> enabled_{false};
};

// The line whose calls the calling thread records while alive. The events keep the line
// alive until they are handed over, and carry its name.
class RecordingScope {
public:
    explicit RecordingScope(const std::shared_ptr<Line> &line) noexcept;
    ~RecordingScope();
    RecordingScope(const RecordingScope &) = delete;
    RecordingScope &operator=(const RecordingScope &) = delete;

    const std::shared_ptr<Line> &line() const { return line_; }

private:
    const std::shared_ptr<Line> &line_;
    RecordingScope *previous_;
};

// Records an event of the calling thread for the line of its innermost RecordingScope (none:
// nothing is recorded). `sentAt` (for answers and time-outs) is when the frame went out.
void record(int kind, const void *bytes, std::size_t length,
            Clock::time_point sentAt = Clock::time_point{});

// Hands the calling thread's recorded events to their lines' handlers, in order. Called where
// the thread holds no lock of the library.
void deliver();

}  // namespace corvex::link::trace
