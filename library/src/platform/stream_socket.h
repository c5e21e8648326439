// SPDX-License-Identifier: MIT
// A TCP connection to a line server as the network line sees it: non-blocking sends and
// receives, a wait on the socket, and a wake-up that ends the receive worker's wait. Each
// operating system fills it in in a file of its own (posix/stream_socket_posix.cpp,
// win32/stream_socket_win32.cpp).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial_device.h"

namespace corvex::platform {

class StreamSocket {
public:
    enum class Wait { Ready, Woken, TimedOut, Failed };

    virtual ~StreamSocket() = default;
    // Sends without blocking: Ok with the bytes the system took (0 when its buffer is full),
    // or Failed with the system's error. Never raises a signal on a closed connection.
    virtual IoResult send(const void *bytes, std::size_t count) = 0;
    // Receives without blocking: Ok with the bytes read (0 when none wait), `closed` set
    // once the server has ended the stream; Failed with the system's error.
    virtual IoResult receive(void *buffer, std::size_t max, bool &closed) = 0;
    // Waits until the socket can be read (or written, with `writable`), at most `timeoutMs`
    // (negative: without bound). With `wakeable`, wake() ends the wait too (Woken); only
    // the receive worker waits so, as a wait takes the wake-up it ends.
    virtual Wait wait(bool writable, int timeoutMs, bool wakeable) = 0;
    // Blocks until wake() is called.
    virtual void waitForWake() = 0;
    // Ends the receive worker's pending or next wakeable wait. Safe from any thread.
    virtual void wake() = 0;
    // Tells the server that nothing more will be sent (the connection's write side is shut);
    // what the server sends can still be received. False when the system refuses.
    virtual bool shutdownSend() = 0;
};

// The deadline for one of the addresses a name resolved to, with `left` addresses still to be
// tried (this one included) before the whole connection's `deadline`: an equal share of the
// time left. An address that drops the connection request so leaves time for the next, and
// one that fails at once (refused, unreachable) hands its share on.
inline std::chrono::steady_clock::time_point
addressDeadline(std::chrono::steady_clock::time_point deadline, std::size_t left) {
    const auto now = std::chrono::steady_clock::now();
    if (left <= 1 || deadline <= now) return deadline;
    return now + (deadline - now) / static_cast<long>(left);
}

// Connects to `host`:`port` within `bound` (name resolution included), with TCP_NODELAY
// and keepalive set. On failure returns nullptr and sets `failure`'s kind and its reason in
// a person's words ("connection refused", "no answer within 3 s", "name not resolved (…)").
std::unique_ptr<StreamSocket> connectStream(const std::string &host, std::uint16_t port,
                                            std::chrono::milliseconds bound, OpenFailure &failure);

// Runs `work` on a thread of its own and waits for it at most `bound`: whether it ended.
// A call that does not end in time is left to finish alone, so `work` must hold all it
// uses (shared pointers). For system calls that have no bound of their own (name lookup).
template <class Work>
bool runWithin(Work work, std::chrono::milliseconds bound) {
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto state = std::make_shared<State>();
    try {
        std::thread([state, work = std::move(work)]() mutable {
            work();
            std::lock_guard<std::mutex> lock(state->mutex);
            state->finished = true;
            state->done.notify_all();
        }).detach();
    } catch (...) {
        return false;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    return state->done.wait_for(lock, bound, [&] { return state->finished; });
}

}  // namespace corvex::platform
