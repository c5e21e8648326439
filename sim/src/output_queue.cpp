// SPDX-License-Identifier: MIT
// The simulator's output queue: ordering, wire-time pacing, the bound for a host that does
// not read, and the writes to the pty master.
#include "output_queue.h"

#include <unistd.h>

#include <algorithm>

namespace kx4417 {

std::chrono::nanoseconds byteTime(int baud) {
    if (baud <= 0) baud = 9600;
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

OutputQueue::OutputQueue(bool wireTime, std::size_t limit) : wireTime_(wireTime), limit_(limit) {}

// A host that never reads must not make the simulator grow without bound: beyond the limit
// the oldest bytes go, and the bytes after them keep their times on the wire.
void OutputQueue::schedule(const std::string &bytes, TimePoint due, int baud) {
    if (bytes.empty()) return;
    const std::chrono::nanoseconds pace = wireTime_ ? byteTime(baud) : std::chrono::nanoseconds(0);
    due = std::max(due, lastDue_ + pace);
    pending_.push_back({due, bytes, pace});
    lastDue_ = due + pace * static_cast<long>(bytes.size() - 1);
    bytes_ += bytes.size();
    while (bytes_ > limit_) {
        Pending &oldest = pending_.front();
        const std::size_t cut = std::min(oldest.bytes.size(), bytes_ - limit_);
        oldest.bytes.erase(0, cut);
        oldest.due += oldest.pace * static_cast<long>(cut);
        bytes_ -= cut;
        dropped_ += cut;
        if (oldest.bytes.empty()) pending_.pop_front();
    }
}

void OutputQueue::flush(int fd, TimePoint now) {
    if (fd < 0) {
        clear();
        return;
    }
    while (!pending_.empty() && pending_.front().due <= now) {
        Pending &p = pending_.front();
        std::size_t count = p.bytes.size();
        if (p.pace.count() > 0)
            count =
                std::min<std::size_t>(count, static_cast<std::size_t>((now - p.due) / p.pace) + 1);
        ssize_t n = ::write(fd, p.bytes.data(), count);
        if (n <= 0) return;  // full: retried when the master is writable
        const auto written = static_cast<std::size_t>(n);
        bytes_ -= written;
        p.bytes.erase(0, written);
        p.due += p.pace * static_cast<long>(written);
        if (!p.bytes.empty()) return;  // the rest is not due yet, or the master is full
        pending_.pop_front();
    }
}

void OutputQueue::clear() {
    pending_.clear();
    bytes_ = 0;
}

int OutputQueue::pollTimeoutMs(TimePoint now, std::optional<TimePoint> alsoAt) const {
    if (pending_.empty() && !alsoAt) return kIdlePollMs;
    TimePoint next = pending_.empty() ? *alsoAt : pending_.front().due;
    if (alsoAt) next = std::min(next, *alsoAt);
    auto wait = next - now;
    if (wait <= std::chrono::nanoseconds::zero()) return 0;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait +
                                                                    std::chrono::microseconds(999));
    return static_cast<int>(std::min<long long>(ms.count(), kIdlePollMs));
}

}  // namespace kx4417
