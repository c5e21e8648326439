// SPDX-License-Identifier: MIT
#include "export.h"

namespace corvex {

namespace {
// The caller state of the calling thread's latest stop served out of turn.
thread_local link::CallerState t_ownStop;
thread_local bool t_ownStopCurrent = false;
thread_local int t_callDepth = 0;
}  // namespace

CallDepth::CallDepth() noexcept { ++t_callDepth; }
CallDepth::~CallDepth() { --t_callDepth; }
bool CallDepth::outermost() noexcept { return t_callDepth == 0; }

void reportInternalError(link::ErrorState &errors, const char *what) noexcept {
    errors.set(CORVEXLINK_ERR_UNKNOWN_CODE, "CorvexLink internal error: %s",
               what != nullptr ? what : "");
}

const link::CallerState *ownStopState() noexcept { return t_ownStopCurrent ? &t_ownStop : nullptr; }

link::CallerState &startOwnStopState() noexcept {
    t_ownStop = link::CallerState{};
    t_ownStopCurrent = true;
    return t_ownStop;
}

void forgetOwnStopState() noexcept { t_ownStopCurrent = false; }

}  // namespace corvex
