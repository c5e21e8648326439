// SPDX-License-Identifier: MIT
// One serial line and everything the library knows about it: the device it opens, the port
// selection, the open device with its receive worker, the state a caller reads back after a
// call, the stations found on the line and what is remembered about them, its frame trace,
// and the locks that order the calls on it. The library keeps any number of lines (see
// line_registry.h); the specified exports act on the default one.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "../platform/serial_device.h"
#include "comm_port.h"
#include "error_state.h"
#include "line_gate.h"
#include "station_memory.h"
#include "trace.h"

namespace corvex::test {
struct LineAccess;  // the test build's seams (tests/support), not part of the library
}

namespace corvex::link {

inline constexpr int kLatestCommandSize = 256;

// What the caller of an export reads back besides the result: the error state, the last
// value and the latest command sent. The default line keeps one that all callers of the
// specified exports share; a stop served while another export runs reports into one of its
// own; a call through a line handle reports into one of the calling thread's own for that
// line (see exports/course.h).
struct CallerState {
    ErrorState errors;
    std::int32_t lastValue = 0;
    char latestCommand[kLatestCommandSize] = {};
};

// The port number and rates chosen, as the exports report them.
struct PortSelection {
    std::int32_t port = 1;
    std::int32_t baudRate = 9600;      // the rate asked for
    std::int32_t lineBaudRate = 9600;  // the listed rate the line runs at
    bool used = false;                 // a port has been opened once
    bool open = false;                 // the exports' view: a port is open
};

// What the line asks of its surroundings. Empty functions select the system's: the serial
// devices of the machine, and the GUI module's port dialog and event pump (or none).
struct LineSeams {
    // Opens the device of a name ("COM3", a path, a network name); null when it does not
    // open, with the failure filled in.
    std::function<std::unique_ptr<platform::SerialDevice>(const std::string &name,
                                                          platform::OpenFailure &failure)>
        openDevice;
    // Dispatches the calling thread's pending window events (during a close).
    std::function<void()> pumpMessages;
    // Shows the port dialog, which writes each choice at once; whether it was shown.
    std::function<bool(std::int32_t &port, std::int32_t &baudRate)> portDialog;
};

class Line {
public:
    // `id` names the line among the library's lines (1 is the default line); `device` is the
    // name it opens, or empty for the default line, which opens COM<selection.port>.
    explicit Line(LineSeams seams = {}, std::uint64_t id = 1, std::string device = {});
    ~Line();  // closes the port
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    const std::uint64_t id;
    PortSelection selection;
    CommPort port;
    CallerState shared;  // what the specified exports report
    StationMemory stations;
    trace::Hub trace;
    // After a repeated frame that was answered: until this time a second answer (to the other
    // copy of the frame) may still arrive; the next command discards it first.
    std::chrono::steady_clock::time_point duplicateUntil{};
    // While set, a value answer does not become the last value.
    bool suppressValue = false;

    LineGate gate;
    // Held by every call for its whole course. Recursive because the events that a close
    // dispatches may call into the library on the same thread.
    std::recursive_mutex exportLock;

    // The name the line opens: its device, or "COM<n>" of the selection for the default line.
    std::string deviceName() const;
    // The name the debug and trace lines give the line: empty for the default line (whose
    // lines keep their texts as they are), else its device.
    const std::string &tag() const { return tag_; }

    // Opens the line's device through the seams and starts its worker; false with the
    // failure filled in (or left empty when the line was already open).
    bool openDevice(platform::OpenFailure &failure);
    // Closes the device, pumping the caller's events while the worker ends (see CommPort).
    int closeDevice();
    bool runPortDialog();

    // Set once the line's handle is closed: every call that reaches the line afterwards, or
    // that was waiting for it, fails at its next transaction without touching the device.
    void retire() { retired_.store(true, std::memory_order_release); }
    bool retired() const { return retired_.load(std::memory_order_acquire); }

private:
    friend struct corvex::test::LineAccess;

    LineSeams seams_;
    std::string device_;
    std::string tag_;
    std::atomic<bool> retired_{false};
};

// The default line: created on first use, replaced only by the tests. See line_registry.h.
Line &theLine();

}  // namespace corvex::link
