// SPDX-License-Identifier: MIT
// One serial line and everything the library knows about it: the port selection, the open
// device with its receive worker, the state a caller reads back after an export, the
// stations found on the line and what is remembered about them, and the locks that order
// the exports on it. The exports reach the line through theLine() and hold its export lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "../platform/serial_device.h"
#include "comm_port.h"
#include "error_state.h"
#include "line_gate.h"
#include "station_memory.h"

namespace corvex::test {
struct LineAccess;  // the test build's seams (tests/support), not part of the library
}

namespace corvex::link {

inline constexpr int kLatestCommandSize = 256;

// What the caller of an export reads back besides the result: the error state, the last
// value and the latest command sent. The line keeps one for its exports; a stop served
// while another export runs reports into one of its own (see stopCall in export.h).
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
    // Opens the device of a port number; null when it does not open.
    std::function<std::unique_ptr<platform::SerialDevice>(int port)> openDevice;
    // Dispatches the calling thread's pending window events (during a close).
    std::function<void()> pumpMessages;
    // Shows the port dialog, which writes each choice at once; whether it was shown.
    std::function<bool(std::int32_t &port, std::int32_t &baudRate)> portDialog;
};

class Line {
public:
    explicit Line(LineSeams seams = {});
    ~Line();  // closes the port
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    PortSelection selection;
    CommPort port;
    CallerState shared;  // what the exports report
    StationMemory stations;
    // After a repeated frame that was answered: until this time a second answer (to the other
    // copy of the frame) may still arrive; the next command discards it first.
    std::chrono::steady_clock::time_point duplicateUntil{};
    // While set, a value answer does not become the last value.
    bool suppressValue = false;

    LineGate gate;
    // Held by every export for its whole course; recursive because exports call exports.
    std::recursive_mutex exportLock;

    // Opens the device of `port` through the seams and starts its worker.
    bool openDevice(int portNumber);
    // Closes the device, pumping the caller's events while the worker ends (see CommPort).
    int closeDevice();
    bool runPortDialog();

    // The library's line: created on first use and kept for the life of the process.
    static Line &instance();
    // The line if it exists, without creating it (safe during unload).
    static Line *existing() { return instance_.load(); }

private:
    friend struct corvex::test::LineAccess;

    LineSeams seams_;
    static std::atomic<Line *> instance_;
};

inline Line &theLine() { return Line::instance(); }

}  // namespace corvex::link
