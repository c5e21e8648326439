// SPDX-License-Identifier: MIT
// The course every export takes, written once: the line's export lock, the caller state it
// reports into, and no exception across the C boundary. An export's body is one call of
// exportCall, stopCall, lockedCall or readCallerState.
#pragma once

#include <cstdint>
#include <exception>
#include <mutex>

#include "CorvexLink.h"
#include "link/line.h"
#include "link/trace.h"
#include "link/transaction.h"

// Exports each function also under its name with a leading underscore (PortOpen as
// _PortOpen), so callers that look symbols up by the documented decorated names find
// them. Must stand in the file that defines the function.
#define CORVEXLINK_ALIAS(name) extern "C" CORVEXLINK_ALIAS_OF(#name) decltype(name) _##name;

// The attributes that make a definition an exported alias of `target` (a string).
#if defined(_WIN32)
#    define CORVEXLINK_ALIAS_OF(target) __attribute__((alias(target))) __declspec(dllexport)
#else
#    define CORVEXLINK_ALIAS_OF(target) __attribute__((alias(target), visibility("default")))
#endif

namespace corvex {

// Sets the error state for an exception that reached an export's edge.
void reportInternalError(link::ErrorState &errors, const char *what) noexcept;

// The state of the calling thread's stop that was served while another export ran (see
// stopCall), as long as no later export of the thread has reported into the line's state;
// null otherwise. The error, value and latest-command exports read it first.
const link::CallerState *ownStopState() noexcept;
link::CallerState &startOwnStopState() noexcept;
void forgetOwnStopState() noexcept;

// Counts the calling thread's export calls in progress (exports call exports), so that the
// frame trace is handed over once the outermost call has released the line.
class CallDepth {
public:
    CallDepth() noexcept;
    ~CallDepth();
    CallDepth(const CallDepth &) = delete;
    CallDepth &operator=(const CallDepth &) = delete;
    static bool outermost() noexcept;
};

// Hands the thread's trace events to the handler when no call of the thread is in progress.
inline void deliverTrace() noexcept {
    if (!CallDepth::outermost()) return;
    try {
        link::trace::deliver();
    } catch (...) {
        // A handler's exception stays out of the C caller's way; its events are done.
    }
}

// Runs `body(call)` so that no exception crosses the C boundary (one that escapes sets the
// error state and gives -1) and a -1 always leaves its reason: a failure that a later
// successful step cleared is reported again.
template <typename Body>
int runGuarded(link::Call &call, Body &body) noexcept {
    const std::uint32_t mark = call.errors().mark();
    try {
        const int result = body(call);
        if (result == -1) call.errors().keepFailureSince(mark);
        return result;
    } catch (const std::exception &e) {
        reportInternalError(call.errors(), e.what());
    } catch (...) {
        reportInternalError(call.errors(), "unknown exception");
    }
    return -1;
}

// The course of an export that reports into the error state: under the line's export lock
// (recursive, as exports call exports), with the line's caller state.
template <typename Body>
int exportCall(Body &&body) noexcept {
    int result = -1;
    try {
        link::Line &line = link::theLine();
        const std::lock_guard<std::recursive_mutex> lock(line.exportLock);
        const CallDepth depth;
        forgetOwnStopState();
        link::Call call{line, line.shared};
        result = runGuarded(call, body);
    } catch (...) {
        // The lock or the line could not be had: nothing was sent.
    }
    deliverTrace();
    return result;
}

// The course of a stop. With no other export running it is exportCall's. While another
// thread runs an export, the stop does not wait for its end: it takes its turn at the next
// boundary between that export's transactions (before the export's next one, after any stop
// called earlier) and reports into a state of its own, which the calling thread then reads
// back; the running export's result and state stay those of an uninterrupted run.
template <typename Body>
int stopCall(Body &&body) noexcept {
    int result = -1;
    try {
        link::Line &line = link::theLine();
        std::unique_lock<std::recursive_mutex> lock(line.exportLock, std::try_to_lock);
        const CallDepth depth;
        if (lock.owns_lock()) {
            forgetOwnStopState();
            link::Call call{line, line.shared};
            result = runGuarded(call, body);
        } else {
            link::CallerState &own = startOwnStopState();
            const link::LineGate::Turn turn(line.gate);
            link::Call call{line, own};
            result = runGuarded(call, body);
        }
    } catch (...) {
    }
    deliverTrace();
    return result;
}

// An export that reports no failure of its own: under the export lock, `fallback` if an
// exception escapes.
template <typename T, typename Body>
T lockedCall(T fallback, Body &&body) noexcept {
    try {
        link::Line &line = link::theLine();
        const std::lock_guard<std::recursive_mutex> lock(line.exportLock);
        return body(line);
    } catch (...) {
        return fallback;
    }
}

// An export that reads the caller state back: the calling thread's own stop state when its
// latest call was a stop served out of turn, else the line's (under the export lock).
template <typename T, typename Read>
T readCallerState(T fallback, Read &&read) noexcept {
    if (const link::CallerState *own = ownStopState()) return read(*own);
    return lockedCall(fallback, [&](link::Line &line) { return read(line.shared); });
}

}  // namespace corvex
