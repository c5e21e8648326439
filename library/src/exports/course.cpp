// SPDX-License-Identifier: MIT
#include "course.h"

#include <unordered_map>

#include "../link/line_registry.h"

namespace corvex::exports {

namespace {

// The caller state of the calling thread's latest stop served out of turn on the default line.
thread_local link::CallerState t_ownStop;
thread_local bool t_ownStopCurrent = false;
thread_local int t_callDepth = 0;

// The calling thread's own states, by line id. A thread that has used many lines drops the
// states of those closed since, so the map stays as small as the lines the thread uses.
constexpr std::size_t kStatesBeforePruning = 16;
thread_local std::unordered_map<std::uint64_t, link::CallerState> t_states;

void pruneClosedLines() {
    for (auto it = t_states.begin(); it != t_states.end();) {
        if (it->first != link::kDefaultLineId && !link::findLine(it->first)) {
            it = t_states.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

Target defaultTarget() { return Target{link::defaultLine(), link::kDefaultLineId, false}; }

Target handleTarget(CorvexLinkLine *handle) {
    const std::uint64_t id = idOf(handle);
    return Target{id == 0 ? nullptr : link::findLine(id), id, true};
}

CorvexLinkLine *handleOf(std::uint64_t id) {
    return reinterpret_cast<CorvexLinkLine *>(static_cast<std::uintptr_t>(id));
}

std::uint64_t idOf(CorvexLinkLine *handle) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
}

link::CallerState &threadState(std::uint64_t id) {
    const auto found = t_states.find(id);
    if (found != t_states.end()) return found->second;
    if (t_states.size() >= kStatesBeforePruning) pruneClosedLines();
    return t_states[id];  // node-based: the state stays where it is while the map grows
}

link::CallerState &stateFor(const Target &target) {
    return target.perThread ? threadState(target.id) : target.line->shared;
}

void reportInternalError(link::ErrorState &errors, const char *what) noexcept {
    errors.set(CORVEXLINK_ERR_UNKNOWN_CODE, "CorvexLink internal error: %s",
               what != nullptr ? what : "");
}

void reportNoLine(std::uint64_t id) noexcept {
    try {
        threadState(id).errors.set(CORVEXLINK_ERR_LINE_CLOSED, "%s",
                                   id == 0 ? "No line given (the handle is NULL)"
                                           : "The line is closed");
    } catch (...) {
        // No memory for the thread's state: the -1 stands alone.
    }
}

void refuseRetiredShared(link::Line &line) noexcept {
    // The shared state is the export lock's to guard; the line is past its use, so the state
    // is written only when the lock can be had at once.
    std::unique_lock<std::recursive_mutex> lock(line.exportLock, std::try_to_lock);
    if (!lock.owns_lock()) return;
    forgetOwnStopState();
    line.shared.errors.set(CORVEXLINK_ERR_LINE_CLOSED, "The line is closed");
}

const link::CallerState *ownStopState() noexcept { return t_ownStopCurrent ? &t_ownStop : nullptr; }

link::CallerState &startOwnStopState() noexcept {
    t_ownStop = link::CallerState{};
    t_ownStopCurrent = true;
    return t_ownStop;
}

void forgetOwnStopState() noexcept { t_ownStopCurrent = false; }

CallDepth::CallDepth() noexcept { ++t_callDepth; }
CallDepth::~CallDepth() { --t_callDepth; }
bool CallDepth::outermost() noexcept { return t_callDepth == 0; }

}  // namespace corvex::exports
