// SPDX-License-Identifier: MIT
// The course every export takes, written once: which line the call acts on, the line's export
// lock, the caller state it reports into, the line's name on the thread's debug and trace
// lines, and no exception across the C boundary. The exports are expanded from the export
// table (export_table.h) into calls of commandCall, stopCall, readCall and lockedCall.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>

#include "CorvexLink.h"
#include "../link/line.h"
#include "../link/trace.h"
#include "../link/transaction.h"
#include "../platform/diagnostics.h"

namespace corvex::exports {

// The line a call acts on and where it reports: the specified exports act on the default line
// and report into its shared state; a line form acts on its handle's line and reports into
// the calling thread's own state for that line.
struct Target {
    std::shared_ptr<link::Line> line;  // null when the handle names no open line
    std::uint64_t id = 0;              // the line's id (0 for a NULL handle)
    bool perThread = false;
};

Target defaultTarget();
Target handleTarget(CorvexLinkLine *handle);

// Handles are the lines' ids: never dereferenced, never given twice, so a stale or made-up
// handle is found to name no line instead of reaching freed memory.
CorvexLinkLine *handleOf(std::uint64_t id);
std::uint64_t idOf(CorvexLinkLine *handle);

// The calling thread's own caller state for the line with `id`.
link::CallerState &threadState(std::uint64_t id);
// Where a call on `target` reports: the thread's own state, or the line's shared one.
link::CallerState &stateFor(const Target &target);

// Sets the error state for an exception that reached an export's edge.
void reportInternalError(link::ErrorState &errors, const char *what) noexcept;
// The failure of a call whose handle names no open line, in the thread's state for it.
void reportNoLine(std::uint64_t id) noexcept;
// The failure of a specified export on the retired default line (the library is being
// unloaded), in the line's shared state as the specified exports report.
void refuseRetiredShared(link::Line &line) noexcept;

// The state of the calling thread's stop that was served while another export of the
// default line ran (see stopCall), as long as no later export of the thread has reported into
// the line's state; null otherwise. The specified error, value and latest-command exports
// read it first.
const link::CallerState *ownStopState() noexcept;
link::CallerState &startOwnStopState() noexcept;
void forgetOwnStopState() noexcept;

// Counts the calling thread's calls in progress (a call reached from the events that a close
// dispatches runs inside another), so that the frame trace is handed over once the outermost
// call has released the line.
class CallDepth {
public:
    CallDepth() noexcept;
    ~CallDepth();
    CallDepth(const CallDepth &) = delete;
    CallDepth &operator=(const CallDepth &) = delete;
    static bool outermost() noexcept;
};

// While alive, the thread's debug lines name the line and its trace events go to its handler.
class LineScope {
public:
    explicit LineScope(const std::shared_ptr<link::Line> &line) noexcept
        : tag_(line->tag()), recording_(line) {}

private:
    platform::DiagnosticsTag tag_;
    link::trace::RecordingScope recording_;
};

// Hands the thread's trace events to the handlers when no call of the thread is in progress.
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

// The course of a command: under the line's export lock, reporting into the target's state.
template <typename Body>
int commandCall(const Target &target, Body &&body) noexcept {
    if (!target.line || target.line->retired()) {
        reportNoLine(target.id);  // a retired line fails without waiting for its lock
        if (target.line && !target.perThread) refuseRetiredShared(*target.line);
        return -1;
    }
    int result = -1;
    try {
        link::Line &line = *target.line;
        const std::lock_guard<std::recursive_mutex> lock(line.exportLock);
        const CallDepth depth;
        const LineScope scope(target.line);
        if (!target.perThread) forgetOwnStopState();
        link::Call call{line, stateFor(target)};
        // A call that waited for the line while it was being closed finds it retired.
        result = line.retired() ? link::refuseRetired(call) : runGuarded(call, body);
    } catch (...) {
        // The lock could not be had: nothing was sent.
    }
    deliverTrace();
    return result;
}

// The course of a stop. With no other call running on the line it is commandCall's. While
// another thread runs a call on it, the stop does not wait for that call's end: it takes its
// turn at the next boundary between that call's transactions (before the call's next one,
// after any stop called earlier). On the default line it reports into a state of its own,
// which the calling thread then reads back; the running call's result and state stay those
// of an uninterrupted run. A line form reports into the thread's own state as always.
template <typename Body>
int stopCall(const Target &target, Body &&body) noexcept {
    if (!target.line || target.line->retired()) {
        reportNoLine(target.id);
        if (target.line && !target.perThread) refuseRetiredShared(*target.line);
        return -1;
    }
    int result = -1;
    try {
        link::Line &line = *target.line;
        std::unique_lock<std::recursive_mutex> lock(line.exportLock, std::try_to_lock);
        const CallDepth depth;
        const LineScope scope(target.line);
        if (lock.owns_lock()) {
            if (!target.perThread) forgetOwnStopState();
            link::Call call{line, stateFor(target)};
            result = runGuarded(call, body);
        } else {
            link::CallerState &state =
                target.perThread ? threadState(target.id) : startOwnStopState();
            const link::LineGate::Turn turn(line.gate);
            link::Call call{line, state};
            result = runGuarded(call, body);
        }
    } catch (...) {
    }
    deliverTrace();
    return result;
}

// A call that reports no failure of its own: the line under its export lock, `fallback` if
// the handle names no line or an exception escapes.
template <typename T, typename Body>
T lockedCall(const Target &target, T fallback, Body &&body) noexcept {
    if (!target.line) return fallback;
    try {
        const std::lock_guard<std::recursive_mutex> lock(target.line->exportLock);
        return body(*target.line);
    } catch (...) {
        return fallback;
    }
}

// A call that reads the caller state back. A line form reads the thread's own state for the
// line (closed lines included: the failure that says so is there). The specified exports
// read the calling thread's own stop state when its latest call was a stop served out of
// turn, else the default line's (under the export lock).
template <typename T, typename Read>
T readCall(const Target &target, T fallback, Read &&read) noexcept {
    try {
        if (target.perThread) return read(threadState(target.id));
        if (const link::CallerState *own = ownStopState()) return read(*own);
        return lockedCall(target, fallback, [&](link::Line &line) { return read(line.shared); });
    } catch (...) {
        return fallback;
    }
}

}  // namespace corvex::exports
