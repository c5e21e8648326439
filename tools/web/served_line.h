// SPDX-License-Identifier: MIT
// One served line: the library's line object, the one thread that makes every call on it
// (queued commands first, then a profile being fed, then the polls of subscribed motors
// within their share of the line's time), the stops that bypass that thread, and the
// hold-to-run jogs whose keep-alive it watches.
//
// Errors of the line forms belong to the calling thread and the line: every call is read
// back on the thread that made it, right after it, and becomes a LineError.
#pragma once

#include "motor_state.h"

#include <CorvexLink.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace corvexweb {

// A failure to report to a client: the HTTP status, the library's error number (0 for a
// refusal of the service's own, before anything reached the line) and the message.
class LineError : public std::runtime_error {
public:
    LineError(int status, int number, const std::string &message)
        : std::runtime_error(message), status_(status), number_(number) {}
    int status() const { return status_; }
    int number() const { return number_; }

private:
    int status_;
    int number_;
};

struct LineSettings {
    std::string name;         // the name clients use in paths
    std::string device;       // as CorvexLinkLineOpen takes it
    int rate = 9600;          // a line rate
    double pollBudget = 0.5;  // the share of the line's time the polls may take (0..1]
    // Seconds between attempts to open a lost (or never opened) line again; 0: only when a
    // client asks for it.
    double reconnectEvery = 2.0;
};

// Counters for /metrics, read without stopping the line.
struct LineCounters {
    std::uint64_t transactions = 0;  // frames sent, repeats included
    std::uint64_t timeouts = 0;      // frames that got no answer in the end
    std::uint64_t errors = 0;        // calls that failed
    std::uint64_t lost = 0;          // times the line was found lost
    std::uint64_t polls = 0;         // poll transactions
    double pollSeconds = 0;          // line time the polls took
    bool up = false;                 // the line is open
};

// A segment of a profile to queue in a station's FIFO.
struct ProfileSegment {
    std::int32_t firstRate = 0;
    std::int32_t slope = 0;
    std::int32_t steps = 0;
};

class ServedLine {
public:
    struct Listeners {
        // A subscribed motor's reading changed (called on the line thread).
        std::function<void(const ServedLine &, int address, const MotorState &)> motor;
        // The line's state, stations or activity changed (any thread).
        std::function<void(const ServedLine &)> line;
        // A frame of the trace (any thread).
        std::function<void(const ServedLine &, const nlohmann::json &)> trace;
        // A line of the service's log (any thread).
        std::function<void(const std::string &)> log;
    };

    ServedLine(LineSettings settings, Listeners listeners);
    ~ServedLine();
    ServedLine(const ServedLine &) = delete;
    ServedLine &operator=(const ServedLine &) = delete;

    // Starts the line's thread, which opens and scans the line first; returns at once.
    void start();
    // Stops the jogs, ends the thread and closes the line.
    void shutdown();

    const std::string &name() const { return settings_.name; }
    // {"name", "device", "rate", "state", "stations", "busy", "reason"?}
    nlohmann::json describe() const;
    // True when the last scan found a station at `address`.
    bool knows(int address) const;
    std::vector<int> stations() const;
    LineCounters counters() const;
    // The newest frames of the trace, oldest first.
    nlohmann::json traceTail(std::size_t count) const;

    // Queued on the line thread, before any poll; each throws LineError.
    MotorState read(int address);
    void moveRelative(int address, std::int32_t steps);
    void moveAbsolute(int address, std::int32_t position);
    void setSpeeds(int address, std::optional<int> slew, std::optional<int> first,
                   std::optional<int> acceleration, std::optional<int> jog);
    // Resets the station's FIFO, switches its FIFO profile mode on (with step mode `mode`)
    // and queues the segments as room comes, between the line's other work.
    void playProfile(int address, std::vector<ProfileSegment> segments, int mode);
    // {"segments", "queued", "active", "failure"?} of the motor's last profile, if any.
    std::optional<nlohmann::json> profileProgress(int address) const;
    // Long operations: other commands are refused (409) while they run.
    void scan();
    void initialise();
    void changeRate(int rate);
    void reconnect();

    // From the calling thread, between the line's transactions; never refused. A stop ends
    // the motor's jog and the feeding of its profile. A stop that fails (the line lost, say)
    // is sent again as soon as the line is open again, before anything else.
    void stop(int address);
    // Stops every station of the last scan, one stop each, even when one fails; returns
    // the failures as [{"address", "number", "message"}].
    nlohmann::json stopAll();

    // Hold-to-run jog owned by `owner`: runs while the owner renews it within the
    // keep-alive; a repeated jog in the same direction only renews it.
    void jog(int address, int direction, std::optional<int> speed, std::uint64_t owner);
    void renewJogs(std::uint64_t owner);
    void releaseJog(int address, std::uint64_t owner);
    void releaseJogs(std::uint64_t owner, const std::string &why);
    bool jogging(int address) const;

    // Subscriptions: a motor is polled while its count is above zero.
    void subscribe(int address);
    void unsubscribe(int address);
    int subscribedMotors() const;
    // The last reading of a motor, if any.
    std::optional<MotorState> lastState(int address) const;

    static constexpr std::chrono::milliseconds kJogKeepAlive{500};

private:
    struct Job;
    class LongOperation;
    struct Jog {
        std::uint64_t owner = 0;
        int direction = 0;
        std::chrono::steady_clock::time_point deadline;
        std::uint64_t generation = 0;
    };
    struct Profile {
        std::vector<ProfileSegment> segments;
        std::size_t queued = 0;
        std::chrono::steady_clock::time_point nextTry;
        bool active = false;
        std::string failure;
    };
    struct PollCursor {
        int address = -1;
        int phase = 0;  // 0 status, 1 position, 2 encoder
        MotorState reading;
    };

    void submit(std::function<void()> body, const char *longOperation);
    void threadMain();
    bool usableLocked() const;
    bool pollStep(std::unique_lock<std::mutex> &lock);
    bool profileStep(std::unique_lock<std::mutex> &lock);
    bool reconnectStep(std::unique_lock<std::mutex> &lock);
    void publishLocked(std::unique_lock<std::mutex> &lock, int address, const MotorState &state);
    // On the line thread. A failure to open is logged when its reason is new.
    void openLocked();
    void scanLocked();
    // Opens the line again (the first time: opens and scans it), then sends the stops owed;
    // throws LineError.
    void reopenLocked();
    [[noreturn]] void openFailed(const CorvexLinkResult &result);
    void sendOwedStops();
    void checkUsable() const;
    // Reads the library's error of the failed call on this thread into a LineError.
    [[noreturn]] void fail();
    void check(int result, const char *what);
    void noteState();
    void guardMain();
    void forget(int address);
    bool stopQuietly(int address, const std::string &why);
    void log(const std::string &text) const;
    void onTrace(const CorvexLinkTraceEvent &event);
    static void traceThunk(const CorvexLinkTraceEvent *event, void *context);
    static std::string addressText(int address) { return std::to_string(address); }

    const LineSettings settings_;
    const Listeners listeners_;

    // The line handle: set on the line thread, read by stops from any thread; a closed
    // handle stays safe to pass.
    std::atomic<CorvexLinkLine *> line_{nullptr};

    mutable std::mutex mutex_;  // everything below up to the jogs
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> jobs_;
    bool stopping_ = false;
    std::string busy_;    // the long operation under way, or ""
    std::string reason_;  // why the line is not open
    int lastState_ = CORVEXLINK_LINE_NOT_OPEN;
    std::vector<int> stations_;
    std::map<int, int> subscribed_;
    std::map<int, MotorState> last_;
    std::map<int, Profile> profiles_;
    PollCursor cursor_;
    std::chrono::steady_clock::time_point nextPoll_{};
    std::chrono::steady_clock::time_point nextReconnect_{};  // none while the line is open
    std::string lastOpenFailure_;                            // the last reason logged
    std::set<int> owedStops_;                                // stops that failed
    LineCounters counters_;
    std::deque<nlohmann::json> trace_;

    mutable std::mutex jogMutex_;  // the jogs
    std::condition_variable jogWake_;
    std::map<int, Jog> jogs_;
    std::uint64_t jogGeneration_ = 0;
    bool guardStopping_ = false;

    std::thread thread_;
    std::thread guard_;
};

}  // namespace corvexweb
