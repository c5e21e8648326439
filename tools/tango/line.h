// SPDX-License-Identifier: MIT
// The one line of the server process over the library's C API: opening and closing it,
// the stations found, what the server knows of their settings, its health (open, lost, or
// not open and why), and the lock that every call from the devices goes through.
//
// Calls from the devices run one at a time under the line lock, so the library's error
// state read after a failure is the failure of that call. A scan, a board initialisation,
// a reconnection or a rate change marks the line busy while it holds the lock: the motors'
// calls then fail at once instead of waiting seconds, so a motor device is never held up
// and its stop can always come in. Stops do not take the line lock at all: the library
// sends a stop at the next boundary between the transactions of whatever else is running.
#pragma once

#include "failure.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace corvextango {

// The Port and Rate properties of the line device.
struct LineSettings {
    std::string port = "1";
    long rate = 9600;
    bool operator==(const LineSettings &) const = default;
};

enum class LineHealth {
    Closed,      // not opened yet, or closed
    Open,        // open and in use
    OpenFailed,  // the last open failed (the library's message says why)
    Lost,        // the device went away while open
};

// What the server set on a station and can read back: the stations cannot be asked for
// their rates, acceleration or current. Empty until written or until a board
// initialisation sets them to their defaults.
struct KnownSettings {
    std::optional<int> slewRate;
    std::optional<int> firstRate;
    std::optional<int> acceleration;
    std::optional<int> current;
};

struct LastError {
    int number = 0;       // the library's error number; 0 when none was met yet
    std::string message;  // the library's message, or the server's for a refused value
};

class Line {
public:
    static Line &instance();

    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    // One line device per server owns the line. claim() is true for the device that owns
    // it (the first to ask); release() gives it up.
    bool claim(const std::string &device);
    void release(const std::string &device);
    std::string owner() const;

    // Long operations (busy for the motors while they run). Each throws a Failure when it
    // fails; the health and the last error say why afterwards too.
    void open(const LineSettings &settings);  // closes first; opens at settings.rate
    void reconnect();                         // closes and opens again at the rate in use
    std::vector<int> scan();
    void initialiseBoards();
    void changeRate(long rate);
    // Closes the port if it is open. Never throws.
    void close();

    // Runs `call` (library calls returning 1 or -1) under the line lock; a -1 becomes a
    // Failure with the library's number and message, named after `what`. Throws Busy,
    // NotOpen or Lost without calling when the line cannot be used.
    void call(const std::string &what, const std::function<int()> &call);
    // Runs `call` under the line lock whatever the line's health (for the library's own
    // tables, which need no line); its result is returned as it is.
    int local(const std::function<int()> &call);
    // MotorStop without the line lock (see above). Throws NotOpen or Lost when the line
    // cannot be used, a library Failure when the stop failed.
    void stop(int address);

    // Throws NotOpen or Lost when the line cannot be used.
    void checkUsable() const;
    LineSettings settings() const;  // those of the last open
    LineHealth health() const;
    std::string healthText() const;  // the reason for Lost and OpenFailed, else ""
    std::string portText() const;    // "COM1" or "COM1 (/dev/ttyUSB0)"
    std::vector<int> stations() const;
    long rate() const;
    LastError lastError() const;
    // Incremented by every open and scan, so a device can forget what it learnt before.
    unsigned generation() const;

    KnownSettings known(int address) const;
    void setKnown(int address, const std::function<void(KnownSettings &)> &change);
    // The current last asked for a station (50 mA until then): a board initialisation
    // gives it to the station.
    void requestCurrent(int address, int milliamps);

    // Called with each of the library's debug lines (on any thread).
    void debugLine(const char *line);

private:
    Line();
    ~Line();
    class LongOperation;
    std::unique_lock<std::timed_mutex> enter(bool needLine);
    [[noreturn]] void fail(const std::string &what);
    void openLocked(const std::string &port, long rate);
    void closeLocked();
    void record(int number, const std::string &message);

    std::timed_mutex callMutex_;  // taken first: one call on the line at a time
    // Then this, for the fields below; never held while calling the library, whose debug
    // handler (debugLine) takes it on any thread.
    mutable std::mutex stateMutex_;
    std::atomic<bool> busy_{false};
    std::string busyWhat_;

    std::string owner_;
    LineSettings settings_;
    std::string portText_;
    long rate_ = 9600;
    LineHealth health_ = LineHealth::Closed;
    std::string healthText_;
    std::vector<int> stations_;
    std::array<KnownSettings, 16> known_{};
    std::array<int, 16> requestedCurrent_{};
    LastError lastError_;
    unsigned generation_ = 0;
};

}  // namespace corvextango
