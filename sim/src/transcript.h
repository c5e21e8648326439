// SPDX-License-Identifier: MIT
// The in-process transcript: every frame the simulator received, with its time and the
// fault injected into its answer, bounded to the newest frames. Thread-safe.
#pragma once

#include <kx4417/simulator.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace kx4417 {

class Transcript {
public:
    // Keeps the newest `limit` frames (at least one); older ones are dropped and counted.
    explicit Transcript(std::size_t limit);

    void record(Frame frame);
    std::vector<Frame> frames() const;
    // Returns the frames and empties the transcript in one step.
    std::vector<Frame> take();
    void clear();
    // Waits until at least `count` frames have arrived since the last clear or take,
    // however many of them the bound has dropped; false on time-out.
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout) const;
    std::uint64_t dropped() const;

private:
    const std::size_t limit_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Frame> frames_;
    std::size_t arrivedSinceClear_ = 0;
    std::uint64_t dropped_ = 0;
};

}  // namespace kx4417
