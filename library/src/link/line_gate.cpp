// SPDX-License-Identifier: MIT
#include "line_gate.h"

namespace corvex::link {

namespace {
// The gate whose line the calling thread holds, if any: a step or turn taken inside another
// (a transaction inside a stop's turn, a re-entrant call from events pumped during a close)
// must not wait for itself.
thread_local const LineGate *t_held = nullptr;
}  // namespace

bool LineGate::heldByThisThread() const { return t_held == this; }

LineGate::Step::Step(LineGate &gate) : gate_(nullptr) {
    if (gate.heldByThisThread()) return;
    std::unique_lock<std::mutex> lock(gate.mutex_);
    gate.changed_.wait(lock,
                       [&gate] { return !gate.busy_ && gate.servingTicket_ == gate.nextTicket_; });
    gate.busy_ = true;
    gate_ = &gate;
    t_held = &gate;
}

LineGate::Step::~Step() {
    if (gate_ != nullptr) gate_->release(false);
}

LineGate::Turn::Turn(LineGate &gate) : gate_(gate) {
    std::unique_lock<std::mutex> lock(gate.mutex_);
    const std::uint64_t ticket = gate.nextTicket_++;
    gate.changed_.wait(lock,
                       [&gate, ticket] { return !gate.busy_ && gate.servingTicket_ == ticket; });
    gate.busy_ = true;
    t_held = &gate;
}

LineGate::Turn::~Turn() { gate_.release(true); }

void LineGate::release(bool endOfTurn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
        if (endOfTurn) ++servingTicket_;
    }
    t_held = nullptr;
    changed_.notify_all();
}

std::uint64_t LineGate::turnsAskedFor() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return nextTicket_;
}

}  // namespace corvex::link
