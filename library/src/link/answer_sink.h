// SPDX-License-Identifier: MIT
// Everything received since the current command was sent, and a caller's wait for it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

#include "answer_parser.h"

namespace corvex::link {

// Everything received since the current command was sent, and the wait for it. Only the
// worker appends; the transaction resets it before each command. A short lock guards the
// text; the completion flag is atomic, so a waiting caller can look at it without the lock.
class AnswerSink {
public:
    void reset();
    // Appends received bytes by the answer rules and, once they hold a prompt, raises the
    // completion flag and wakes a caller that sleeps in waitComplete.
    void append(const char *bytes, std::size_t count);
    bool complete() const { return complete_.load(std::memory_order_acquire) != 0; }
    // Waits until the answer is complete or `deadline` has passed; whether it is complete.
    // Spins for a few microseconds first (an answer that is already on its way costs no
    // sleep), then sleeps until the worker signals completion.
    bool waitComplete(std::chrono::steady_clock::time_point deadline);
    // A copy of the text received so far.
    std::string text() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable completed_;
    AnswerBuffer buffer_;
    bool sleeping_ = false;  // a caller waits on completed_ (guarded by mutex_)
    std::atomic<int> complete_{0};
};

}  // namespace corvex::link
