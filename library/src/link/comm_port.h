// SPDX-License-Identifier: MIT
// The open serial device of a line, its receive worker, and the write primitives on which
// every command rests.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "../platform/serial_device.h"
#include "answer_sink.h"

namespace corvex::link {

inline constexpr std::size_t kReadChunk = 80;  // bytes per read of the worker

class CommPort {
public:
    CommPort();
    ~CommPort();  // closes the device (without pumping events)
    CommPort(const CommPort &) = delete;
    CommPort &operator=(const CommPort &) = delete;

    // Purges `device`, sets it to 8N1 without flow control at `rate` and starts its receive
    // worker, whose debug lines carry `tag` (see DiagnosticsTag); false (and the device
    // closed) when it cannot be set up.
    bool open(std::unique_ptr<platform::SerialDevice> device, std::uint32_t rate,
              const std::string &tag = {});
    // Stops the worker and closes the device. `pump` keeps the caller's window events flowing
    // while the worker ends. 1, or 0 when no device is open or another close (further up the
    // same thread's stack) is already releasing it.
    int close(const std::function<void()> &pump);

    bool isOpen() const { return worker_ != nullptr; }

    // The port's state as any thread may read it at any time, without a lock.
    enum class Status : std::uint8_t { Closed, Open, Lost };
    Status status() const;
    // Whether the worker found the device gone (hang-up, I/O error, a lost connection):
    // nothing can be sent or received any more until the port is opened again.
    bool lost() const { return status() == Status::Lost; }
    // A number of the running worker, different for every open; 0 while closed.
    std::uint64_t workerSerial() const { return worker_ ? serial_ : 0; }
    // Whether close() is running (further up the calling thread's stack): an open, close or
    // write reached from the events it dispatches stays away from the device.
    bool closing() const { return closing_; }

    // Writes the bytes within a bound set by their count and the line rate. 1 when all bytes
    // were written, else 0 with a diagnostics line.
    int writeBlock(const void *bytes, std::size_t count);
    // writeBlock, once more after a failure.
    int write(const void *bytes, std::size_t count);

    // Changes the rate of the open device; false, with the rate as it was, when the device
    // refuses or none is open.
    bool setLineRate(std::uint32_t rate);
    // The open device, or nullptr while closed.
    const platform::SerialDevice *device() const;
    // The open device's path, "" while closed; safe from any thread at any time.
    std::string openedPath() const;
    std::uint32_t lineRate() const { return lineRate_; }

    // The answers of the current (or last) open.
    AnswerSink &answer() { return *sink_; }

private:
    // What one worker uses. The worker holds its own reference, so a worker that does not
    // end within the close's bound keeps its device and sink alive and never reaches the
    // state of a later open.
    struct Worker;
    static void receive(std::shared_ptr<Worker> worker);

    // The status with the number of the open it belongs to (serial * 4 + status), shared with
    // the workers: a worker marks only its own open as lost, and one that outlives the close
    // (see close()) never reaches a later open or freed memory.
    std::shared_ptr<std::atomic<std::uint64_t>> status_;
    std::shared_ptr<Worker> worker_;  // empty while closed
    std::thread thread_;
    std::shared_ptr<AnswerSink> sink_;
    std::uint32_t lineRate_ = 9600;
    std::uint64_t serial_ = 0;  // counts the opens
    bool closing_ = false;
    mutable std::mutex pathMutex_;  // guards openedPath_
    std::string openedPath_;
    std::mutex writeLock_;  // held for the whole of one write
};

}  // namespace corvex::link
