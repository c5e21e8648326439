// The open serial line: the CommPort record, its receive worker and the write primitives
// on which every command rests.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "../platform/serial_device.h"

namespace corvex::link {

inline constexpr int kAnswerCapacity = 4999;  // usable characters of the answer buffer
inline constexpr std::size_t kReadChunk = 80;  // bytes per read of the worker

// Everything received since the current command was sent. Only the worker appends; the
// transaction resets it before each command. A short lock guards the text; the
// completion flag is atomic so the transaction can spin on it without the lock.
class AnswerSink {
public:
    void reset();
    // Appends `count` bytes up to the first NUL, dropping what does not fit, and raises
    // the completion flag once the text holds a '>'.
    void append(const char *bytes, std::size_t count);
    bool complete() const { return complete_.load(std::memory_order_acquire); }
    // A copy of the text received so far.
    std::string text() const;

private:
    mutable std::mutex mutex_;
    char buffer_[kAnswerCapacity + 1] = {};
    int length_ = 0;
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
    std::int32_t requestedRate = 9600;
    AnswerSink *answer = nullptr;
    int answerCapacity = kAnswerCapacity;
    std::mutex writeLock;  // held for the whole of one write
};

// Library-wide port state.
struct PortState {
    std::int32_t SelectedPort = 1;
    std::int32_t SelectedBaudRate = 9600;
    std::int32_t LineBaudRate = 9600;
    bool PortUsed = false;
    bool PortHandle = false;  // the exports' view: a port is open
    platform::LineSettings LineState{};
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
bool CommPortClosing();
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
