// SPDX-License-Identifier: MIT
// The frame trace: every frame sent, every answer taken up, the repeats and the time-outs,
// collected on the thread that makes the call and handed to the caller's handler once the
// call has let go of the line. With no handler set, recording costs one atomic load.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "CorvexLink.h"

namespace corvex::link::trace {

using Clock = std::chrono::steady_clock;

// Sets (or with NULL removes) the handler; safe from any thread at any time.
void setHandler(CorvexLinkTraceHandler handler, void *context);

// Whether a handler is set: the recording points check this first.
bool enabled();

// Records an event of the calling thread. `sentAt` (for answers and time-outs) is when the
// frame went out.
void record(int kind, const void *bytes, std::size_t length,
            Clock::time_point sentAt = Clock::time_point{});

// Hands the calling thread's recorded events to the handler, in order. Called where the
// thread holds no lock of the library.
void deliver();

}  // namespace corvex::link::trace
