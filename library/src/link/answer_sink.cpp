// SPDX-License-Identifier: MIT
#include "answer_sink.h"

#include <algorithm>

#include "../platform/clock.h"

namespace corvex::link {

namespace {
// How long a waiting caller polls the completion flag before it sleeps: long enough to
// catch an answer that the worker is already moving in, short against any wire time.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(30);
}  // namespace

void AnswerSink::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    buffer_.clear();
    complete_.store(0, std::memory_order_release);
}

void AnswerSink::append(const char *bytes, std::size_t count) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (buffer_.append(bytes, count) && complete_.load(std::memory_order_relaxed) == 0) {
            complete_.store(1, std::memory_order_release);
            wake = sleeping_;
        }
    }
    if (wake) completed_.notify_one();
}

bool AnswerSink::waitComplete(std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    const auto spinEnd = std::min(deadline, Clock::now() + kSpinBeforeSleep);
    while (Clock::now() < spinEnd) {
        if (complete()) return true;
        platform::cpuRelax();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    sleeping_ = true;
    const bool done = completed_.wait_until(lock, deadline, [this] { return complete(); });
    sleeping_ = false;
    return done;
}

std::string AnswerSink::text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::string(buffer_.text());
}

}  // namespace corvex::link
