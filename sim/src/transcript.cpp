// SPDX-License-Identifier: MIT
// The simulator's bounded transcript of received frames.
#include "transcript.h"

#include <algorithm>
#include <iterator>

namespace kx4417 {

Transcript::Transcript(std::size_t limit) : limit_(std::max<std::size_t>(limit, 1)) {}

void Transcript::record(Frame frame) {
    {
        std::lock_guard lock(mutex_);
        frames_.push_back(std::move(frame));
        ++arrivedSinceClear_;
        while (frames_.size() > limit_) {
            frames_.pop_front();
            ++dropped_;
        }
    }
    changed_.notify_all();
}

std::vector<Frame> Transcript::frames() const {
    std::lock_guard lock(mutex_);
    return {frames_.begin(), frames_.end()};
}

std::vector<Frame> Transcript::take() {
    std::lock_guard lock(mutex_);
    std::vector<Frame> taken(std::make_move_iterator(frames_.begin()),
                             std::make_move_iterator(frames_.end()));
    frames_.clear();
    arrivedSinceClear_ = 0;
    return taken;
}

void Transcript::clear() {
    std::lock_guard lock(mutex_);
    frames_.clear();
    arrivedSinceClear_ = 0;
}

bool Transcript::waitFor(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return arrivedSinceClear_ >= count; });
}

std::uint64_t Transcript::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace kx4417
