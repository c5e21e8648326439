// SPDX-License-Identifier: MIT
// The lines of the server process over the library's line API: each CorvexLine device owns
// one Line (its own handle, opened by name), with the stations found, what the server knows
// of their settings, its health (open, lost, or not open and why) and the lock that every
// call of its devices goes through. Lines never share a lock, a handle or an error.
//
// Calls on a line run one at a time under its line lock; each reads the library's error of
// its own thread on its own line right after the call. A scan, a board initialisation, a
// reconnection or a rate change marks the line busy while it holds the lock: the calls of
// its motors then fail at once instead of waiting seconds, so a motor device is never held
// up and its stop can always come in. Stops do not take the line lock at all: the library
// sends a stop at the next boundary between the transactions of whatever else is running
// on that line.
#pragma once

#include "failure.h"

#include <CorvexLink.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace corvextango {

// The Port and Rate properties of a line device.
struct LineSettings {
    std::string port = "1";
    std::string rate = "9600";  // as the property gives it; checked by the open
    bool operator==(const LineSettings &) const = default;
};

enum class LineHealth {
    Closed,      // not opened yet, or closed
    Open,        // open and in use
    OpenFailed,  // the last open failed (the library's result says why)
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
    // `owner` is the name of the CorvexLine device, used in the texts that tell a client
    // which device recovers the line.
    explicit Line(std::string owner);
    ~Line();  // closes the line
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    const std::string &owner() const { return owner_; }

    // Long operations (busy for the motors while they run). Each throws a Failure when it
    // fails; the health and the last error say why afterwards too.
    // Opens the line on settings.port at settings.rate, closing the line in use first; true
    // when a new handle was opened (its station table is empty: scan it). With the same
    // settings, the line at that rate and a handle in hand, the handle is opened again
    // instead, keeping its stations. A Port or Rate that cannot be used is refused (an
    // argument Failure) and leaves the line closed.
    bool open(const LineSettings &settings);
    void reconnect();  // opens the handle in use again (after a loss); keeps its stations
    std::vector<int> scan();
    void initialiseBoards();
    void changeRate(long rate);
    // Closes the line if it is open. Never throws.
    void close();

    // Runs `call` (line forms returning 1 or -1) under the line lock; a -1 becomes a Failure
    // with this thread's error number and message on the line, named after `what`. Throws
    // Busy, NotOpen or Lost without calling when the line cannot be used.
    void call(const std::string &what, const std::function<int(CorvexLinkLine *)> &call);
    // Runs `call` under the line lock whatever the line's health (for the library's own
    // tables, which need no line); its result is returned as it is.
    int local(const std::function<int(CorvexLinkLine *)> &call);
    // MotorStop without the line lock (see above). Throws NotOpen or Lost when the line
    // cannot be used, a library Failure when the stop failed.
    void stop(int address);

    // Throws NotOpen or Lost when the line cannot be used.
    void checkUsable();
    LineSettings settings() const;  // those of the last open
    // The health; a line the library reports lost turns Lost here (lock-free in the library).
    LineHealth health();
    std::string healthText();      // the reason for Lost and OpenFailed, else ""
    std::string portText() const;  // "COM1", "/dev/ttyUSB0" or "rfc2217://host:4001"
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

private:
    class LongOperation;
    std::unique_lock<std::timed_mutex> enter(bool needLine);
    [[noreturn]] void fail(CorvexLinkLine *handle, const std::string &what);
    void opened(const CorvexLinkResult &result, bool ok, const std::string &text);
    // Closes the handle; the health becomes Closed unless it says why an open failed.
    void closeLocked();
    void noteLossLocked(const std::string &device);
    void record(int number, const std::string &message);

    const std::string owner_;
    // The handle, read without any lock by stops and state checks; replaced only under
    // callMutex_. A closed handle is safe to pass to the library (it fails with error 37).
    std::atomic<CorvexLinkLine *> handle_{nullptr};

    std::timed_mutex callMutex_;  // taken first: one call on the line at a time
    // Then this, for the fields below; never held while calling the library.
    mutable std::mutex stateMutex_;
    std::atomic<bool> busy_{false};
    std::string busyWhat_;

    LineSettings settings_;
    std::string portText_;
    std::string device_;  // the device the port led to, for the texts about a loss
    long rate_ = 9600;
    LineHealth health_ = LineHealth::Closed;
    std::string healthText_;
    std::vector<int> stations_;
    std::array<KnownSettings, CORVEXLINK_ADDRESS_MAX + 1> known_{};
    std::array<int, CORVEXLINK_ADDRESS_MAX + 1> requestedCurrent_{};
    LastError lastError_;
    unsigned generation_ = 0;
};

// The lines of the server, by the name of their CorvexLine device (Tango compares names
// without regard to case).
class Lines {
public:
    static Lines &instance();

    // Makes the line of a new line device; a device of that name must not have one.
    std::shared_ptr<Line> add(const std::string &device);
    void remove(const std::string &device);
    // The line a motor's Line property names, or with `name` empty the only line of the
    // server. nullptr with `why` set when there is no such line, or several to choose from.
    std::shared_ptr<Line> find(const std::string &name, std::string &why) const;

private:
    Lines() = default;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Line>> lines_;  // by lower-case device name
};

}  // namespace corvextango
