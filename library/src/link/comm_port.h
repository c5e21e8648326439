// SPDX-License-Identifier: MIT
// The open serial line: the CommPort record, its receive worker and the write primitives
// on which every command rests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "../platform/serial_device.h"
#include "answer_parser.h"

namespace corvex::link {

inline constexpr std::size_t kReadChunk = 80;  // bytes per read of the worker

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

struct CommPort {
    std::unique_ptr<platform::SerialDevice> device;  // the handle; empty while closed
    std::thread worker;                              // the worker thread handle
    std::atomic<std::uint32_t> workerId{0};          // 0 while no worker runs
    std::atomic<int> running{0};
    // Set while CloseCommPort runs. The close dispatches the caller's window events while
    // it waits for the worker; an open, close or write reached from those events sees
    // this and stays away from the device and worker that are being released.
    bool closing = false;
    std::uint32_t lineRate = 9600;
    bool dsrDtrHandshake = false;
    bool ctsRtsHandshake = false;
    bool xonXoff = false;
    std::uint8_t parity = 0;
    std::uint8_t stopBits = 0;
    std::uint8_t dataBits = 8;
    AnswerSink *answer = nullptr;
    std::mutex writeLock;  // held for the whole of one write
};

// Library-wide port state.
struct PortState {
    std::int32_t selectedPort = 1;
    std::int32_t selectedBaudRate = 9600;
    std::int32_t lineBaudRate = 9600;
    bool portUsed = false;
    bool portOpen = false;  // the exports' view: a port is open
};

PortState &portState();
CommPort &commPort();
// Whether a device is open, without creating any state (safe during unload).
bool portDeviceOpen();
AnswerSink &answerSink();

// Opens and sets up the device of `port` and starts the worker; false on failure.
bool OpenCommPort(int port);
// Stops the worker and closes the device; 1, or 0 when no device is open or another close
// (further up the same thread's stack) is already releasing it.
int CloseCommPort();
// Whether CloseCommPort is running (further up the calling thread's stack).
bool commPortClosing();
bool SetupConnection(CommPort &port);
// 1 when all bytes were written, else 0.
int WriteCommBlock(CommPort &port, const void *bytes, std::size_t count);
// WriteCommBlock on the library's port, once more after a failure.
int WriteComm(const void *bytes, std::size_t count);
std::size_t ReadCommBlock(CommPort &port, char *buffer, std::size_t max);
void SelectBaudRate(std::int32_t rate);
void ApplyBaudRate();

// How OpenCommPort obtains the device of a port number: the system's serial devices
// unless another factory is installed (a program that brings its own line, or a test that
// wraps or replaces the device). An empty function restores the system's devices.
using DeviceFactory = std::function<std::unique_ptr<platform::SerialDevice>(int port)>;
void setDeviceFactory(DeviceFactory factory);

// Closes any open port and restores the load-time port state (tests only).
void resetPortStateForTest();

}  // namespace corvex::link
