// SPDX-License-Identifier: MIT
// Who uses the line between two transactions. The exports run one at a time under the export
// lock, and each of their transactions takes the line only for its frame and its answer (a
// Step). A stop called while another thread runs an export does not wait for that export to
// end: it takes a Turn at the next boundary between the export's transactions, and pending
// turns go before the running export's next step, in the order they were asked for.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace corvex::link {

class LineGate {
public:
    // The line for one transaction (or a sequence of writes that must not be split) of the
    // export that holds the export lock. Waits while stops are pending. A step taken while
    // the thread already holds the line (inside another step or a turn) changes nothing.
    class Step {
    public:
        explicit Step(LineGate &gate);
        ~Step();
        Step(const Step &) = delete;
        Step &operator=(const Step &) = delete;

    private:
        LineGate *gate_;  // null for a nested step
    };

    // The line for a stop that came while another export runs: granted as soon as no step
    // holds the line, before any later step, in the order the turns were asked for.
    class Turn {
    public:
        explicit Turn(LineGate &gate);
        ~Turn();
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;

    private:
        LineGate &gate_;
    };

    // Whether the calling thread holds the line (a step or a turn).
    bool heldByThisThread() const;

    // How many turns have been asked for since the gate was made: the order of the stops,
    // which a caller can otherwise only guess from the time its threads started.
    std::uint64_t turnsAskedFor() const;

private:
    void release(bool endOfTurn);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool busy_ = false;                // a step or a turn holds the line
    std::uint64_t nextTicket_ = 0;     // the ticket the next turn gets
    std::uint64_t servingTicket_ = 0;  // the ticket whose turn is next
};

}  // namespace corvex::link
