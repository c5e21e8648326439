// SPDX-License-Identifier: MIT
// The bytes waiting for the line: answers, fault pieces and raw sends, each due at its own
// time, written in order and, with wire time, no faster than the line rate would carry them.
// Not thread-safe: the owner serialises every call.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace kx4417 {

// The time one byte (start bit, 8 data bits, stop bit) takes at `baud` (9600 when unknown).
std::chrono::nanoseconds byteTime(int baud);

class OutputQueue {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    // The I/O thread waits at most this long in one poll, so that the host's line rate
    // stays freshly sampled.
    static constexpr int kIdlePollMs = 50;

    // `wireTime`: one byte every byteTime(baud). `limit`: bytes kept for a host that does
    // not read; beyond it the oldest bytes are dropped and counted.
    OutputQueue(bool wireTime, std::size_t limit);

    // Queues `bytes` for `due` at the line rate `baud`, never ahead of what is queued
    // already.
    void schedule(const std::string &bytes, TimePoint due, int baud);
    // Writes what is due at `now` to `fd` until the descriptor is full; with no line
    // (fd < 0) everything queued is discarded, as it has nowhere to go.
    void flush(int fd, TimePoint now);
    // Discards everything queued (the line went away); not counted as dropped.
    void clear();

    // True when the first bytes are due at `now` (the caller then polls for writability).
    bool due(TimePoint now) const { return !pending_.empty() && pending_.front().due <= now; }
    // Milliseconds the I/O thread may sleep at `now` before the queue, or the event at
    // `alsoAt`, needs it: rounded up, at most kIdlePollMs, 0 when something is due.
    int pollTimeoutMs(TimePoint now, std::optional<TimePoint> alsoAt = std::nullopt) const;

    std::size_t size() const { return bytes_; }
    std::uint64_t dropped() const { return dropped_; }

private:
    // Bytes for the line from `due` on; with wire time one byte every `pace`.
    struct Pending {
        TimePoint due;
        std::string bytes;
        std::chrono::nanoseconds pace{0};
    };

    bool wireTime_;
    std::size_t limit_;
    std::deque<Pending> pending_;
    std::size_t bytes_ = 0;
    std::uint64_t dropped_ = 0;
    TimePoint lastDue_{};  // when the last queued byte is due
};

}  // namespace kx4417
