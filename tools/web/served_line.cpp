// SPDX-License-Identifier: MIT
// The served line's thread, its queue, its polls within the budget, its profile feeding,
// and the stops and jog guard beside it.
#include "served_line.h"

#include <algorithm>
#include <cstdio>
#include <future>

namespace corvexweb {

namespace {

// Commands waiting on one line beyond which new ones are refused as busy.
constexpr std::size_t kMaxQueued = 64;
// Frames of the trace kept for GET .../trace.
constexpr std::size_t kTraceKept = 500;
// The shortest gap between two poll transactions: on a line much faster than a serial
// one (a pseudo-terminal) the budget alone would poll thousands of times a second.
constexpr std::chrono::milliseconds kMinPollGap{5};
// How soon a profile asks again for room in a full FIFO.
constexpr std::chrono::milliseconds kProfileRetry{50};
// How often an idle line thread looks at the line's state.
constexpr std::chrono::seconds kStateLook{1};
// FIFO bytes one segment takes (first rate 3, slope 2, relative move 4), and the mode bit
// that plays the FIFO while it is filled.
constexpr int kSegmentBytes = 9;
constexpr int kFifoProfileBit = 0x40;

int statusFor(int number) {
    switch (number) {
    case CORVEXLINK_ERR_LINE_LOST:
    case CORVEXLINK_ERR_LINE_CLOSED:
    case CORVEXLINK_ERR_NO_PORT:
    case CORVEXLINK_ERR_OPEN_FAILED: return 409;
    default: return 500;
    }
}

// Printable ASCII as it is, anything else as \xNN (so a trace of noise stays valid JSON).
std::string visible(const unsigned char *bytes, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = bytes[i];
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

const char *kindName(int kind) {
    switch (kind) {
    case CORVEXLINK_TRACE_SENT: return "sent";
    case CORVEXLINK_TRACE_RECEIVED: return "received";
    case CORVEXLINK_TRACE_REPEAT: return "repeat";
    case CORVEXLINK_TRACE_TIMEOUT: return "timeout";
    default: return "other";
    }
}

std::vector<int> parseStations(const char *list) {
    // "0,1,2,3,N,N,...": the decimal address of each station found, N elsewhere.
    std::vector<int> found;
    int number = -1;
    for (const char *p = list;; ++p) {
        if (*p >= '0' && *p <= '9') {
            number = (number < 0 ? 0 : number * 10) + (*p - '0');
        } else {
            if (number >= CORVEXLINK_ADDRESS_MIN && number <= CORVEXLINK_ADDRESS_MAX)
                found.push_back(number);
            number = -1;
            if (*p == '\0') break;
        }
    }
    return found;
}

}  // namespace

// A queued command. Its failure comes back as values, not as an exception object shared
// between threads.
struct ServedLine::Job {
    std::function<void()> body;
    std::promise<void> done;
    bool failed = false;
    int status = 0;
    int number = 0;
    std::string message;

    void fail(int s, int n, std::string m) {
        failed = true;
        status = s;
        number = n;
        message = std::move(m);
    }
};

// Ends the line's busy mark when a long operation's job ends, however it ends.
class ServedLine::LongOperation {
public:
    explicit LongOperation(ServedLine &line) : line_(line) {}
    ~LongOperation() {
        {
            std::lock_guard<std::mutex> lock(line_.mutex_);
            line_.busy_.clear();
        }
        if (line_.listeners_.line) line_.listeners_.line(line_);
    }

private:
    ServedLine &line_;
};

ServedLine::ServedLine(LineSettings settings, Listeners listeners)
    : settings_(std::move(settings)), listeners_(std::move(listeners)) {
    reason_ = "not opened yet";
}

ServedLine::~ServedLine() { shutdown(); }

void ServedLine::start() {
    // The first job opens and scans the line. A line that does not open is served all the
    // same, as closed with its reason, until a reconnection opens it.
    auto job = std::make_shared<Job>();
    job->body = [this] {
        LongOperation operation(*this);
        try {
            openLocked();
            scanLocked();
        } catch (const LineError &) {
        }
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = "opening";
        jobs_.push_back(job);
    }
    thread_ = std::thread([this] { threadMain(); });
    guard_ = std::thread([this] { guardMain(); });
}

void ServedLine::shutdown() {
    {
        std::lock_guard<std::mutex> lock(jogMutex_);
        if (guardStopping_) return;
        guardStopping_ = true;
    }
    jogWake_.notify_all();
    if (guard_.joinable()) guard_.join();
    // Hold-to-run jogs end with the service.
    std::vector<int> jogging;
    {
        std::lock_guard<std::mutex> lock(jogMutex_);
        for (const auto &[address, jog] : jogs_) jogging.push_back(address);
        jogs_.clear();
    }
    for (int address : jogging) stopQuietly(address, "the service stops");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (CorvexLinkLine *line = line_.exchange(nullptr)) {
        CorvexLinkLineSetTraceHandler(line, nullptr, nullptr);
        CorvexLinkLineClose(line);
    }
}

// ---- the line thread ------------------------------------------------------------------

void ServedLine::submit(std::function<void()> body, const char *longOperation) {
    auto job = std::make_shared<Job>();
    job->body = std::move(body);
    auto done = job->done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) throw LineError(409, 0, "The service is stopping");
        if (!busy_.empty()) throw LineError(409, 0, "The line is busy: " + busy_);
        if (jobs_.size() >= kMaxQueued)
            throw LineError(409, 0, "The line is busy: too many commands are waiting");
        if (longOperation) {
            busy_ = longOperation;
            auto inner = std::move(job->body);
            job->body = [this, inner = std::move(inner)] {
                LongOperation operation(*this);
                inner();
            };
        }
        jobs_.push_back(job);
    }
    wake_.notify_all();
    if (longOperation && listeners_.line) listeners_.line(*this);
    done.get();
    if (job->failed) throw LineError(job->status, job->number, job->message);
}

void ServedLine::threadMain() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!jobs_.empty()) {
            auto job = jobs_.front();
            jobs_.pop_front();
            lock.unlock();
            try {
                job->body();
            } catch (const LineError &error) {
                job->fail(error.status(), error.number(), error.what());
            } catch (const std::exception &error) {
                job->fail(500, 0, std::string("The service failed: ") + error.what());
            }
            job->done.set_value();
            noteState();
            lock.lock();
            continue;
        }
        if (stopping_) break;
        if (profileStep(lock)) continue;
        if (pollStep(lock)) continue;
        if (reconnectStep(lock)) continue;
        // Nothing to do now: sleep until a job comes, or the next poll or profile step, and
        // look at the line's state at least once a second, so that a line lost while idle
        // is reported to the clients.
        auto until = std::chrono::steady_clock::now() + kStateLook;
        if (!subscribed_.empty() && line_.load()) until = std::min(until, nextPoll_);
        for (const auto &[address, profile] : profiles_)
            if (profile.active) until = std::min(until, profile.nextTry);
        if (nextReconnect_ != std::chrono::steady_clock::time_point{})
            until = std::min(until, nextReconnect_);
        wake_.wait_until(lock, until);
        lock.unlock();
        noteState();
        lock.lock();
    }
    // Commands still waiting fail: the service is stopping.
    for (auto &job : jobs_) {
        job->fail(409, 0, "The service is stopping");
        job->done.set_value();
    }
    jobs_.clear();
}

bool ServedLine::usableLocked() const {
    return line_.load() && busy_.empty() && lastState_ == CORVEXLINK_LINE_OPEN;
}

bool ServedLine::pollStep(std::unique_lock<std::mutex> &lock) {
    if (subscribed_.empty() || !usableLocked()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextPoll_) return false;
    if (cursor_.phase == 0) {
        // The next subscribed motor that the last scan found, round robin.
        std::vector<int> candidates;
        for (const auto &[address, count] : subscribed_)
            if (count > 0 &&
                std::find(stations_.begin(), stations_.end(), address) != stations_.end())
                candidates.push_back(address);
        if (candidates.empty()) return false;
        auto next = std::upper_bound(candidates.begin(), candidates.end(), cursor_.address);
        cursor_.address = next == candidates.end() ? candidates.front() : *next;
        cursor_.reading = MotorState{};
    }
    const int address = cursor_.address;
    const int phase = cursor_.phase;
    CorvexLinkLine *line = line_.load();
    lock.unlock();

    const std::string text = addressText(address);
    std::int32_t value = 0;
    const auto began = std::chrono::steady_clock::now();
    int result = -1;
    switch (phase) {
    case 0: result = CorvexLinkLineMotorGetStatusRegister(line, text.c_str(), &value); break;
    case 1: result = CorvexLinkLineMotorGetPosition(line, text.c_str(), &value); break;
    default: result = CorvexLinkLineEncoderGetPosition(line, text.c_str(), &value); break;
    }
    const auto took = std::chrono::steady_clock::now() - began;
    int number = 0;
    std::string message;
    if (result != 1) {
        number = CorvexLinkLineGetNumberError(line);
        message = CorvexLinkLineGetErrorMessage(line);
    }
    noteState();

    lock.lock();
    counters_.polls += 1;
    counters_.pollSeconds += std::chrono::duration<double>(took).count();
    if (result != 1) counters_.errors += 1;
    // Idle so that the polls take at most their share of the line's time.
    const double share = std::clamp(settings_.pollBudget, 0.01, 1.0);
    const auto rest = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        took * ((1.0 - share) / share));
    nextPoll_ = std::chrono::steady_clock::now() +
                std::max<std::chrono::steady_clock::duration>(rest, kMinPollGap);
    MotorState &reading = cursor_.reading;
    bool finished = false;
    if (result != 1) {
        reading.ok = false;
        reading.errorNumber = number;
        reading.errorMessage = message;
        finished = true;
    } else {
        if (phase == 0) reading.status = value;
        if (phase == 1) reading.position = value;
        if (phase == 2) reading.encoder = value;
        finished = phase == 2;
        reading.ok = finished;
    }
    cursor_.phase = finished ? 0 : phase + 1;
    if (finished) {
        reading.time = std::chrono::system_clock::now();
        const MotorState state = reading;
        publishLocked(lock, address, state);
    }
    return true;
}

void ServedLine::publishLocked(std::unique_lock<std::mutex> &lock, int address,
                               const MotorState &state) {
    auto known = last_.find(address);
    const bool changed = known == last_.end() || !known->second.sameReading(state);
    last_[address] = state;
    if (!changed || !listeners_.motor) return;
    lock.unlock();
    listeners_.motor(*this, address, state);
    lock.lock();
}

bool ServedLine::profileStep(std::unique_lock<std::mutex> &lock) {
    if (!usableLocked()) return false;
    const auto now = std::chrono::steady_clock::now();
    auto due = std::find_if(profiles_.begin(), profiles_.end(), [&](const auto &entry) {
        return entry.second.active && entry.second.nextTry <= now;
    });
    if (due == profiles_.end()) return false;
    const int address = due->first;
    const ProfileSegment segment = due->second.segments[due->second.queued];
    CorvexLinkLine *line = line_.load();
    lock.unlock();

    // One segment per step when the FIFO has room for it, so that commands and stops
    // queued meanwhile go first.
    const std::string text = addressText(address);
    std::int32_t room = 0;
    bool ok = CorvexLinkLineFIFOGetRemainingBytes(line, text.c_str(), &room) == 1;
    bool queued = false;
    if (ok && room >= kSegmentBytes) {
        ok = CorvexLinkLineFIFOMotorFirstRate(line, text.c_str(), segment.firstRate, &room) == 1 &&
             CorvexLinkLineFIFOMotorSlope(line, text.c_str(), segment.slope, &room) == 1 &&
             CorvexLinkLineFIFOMotorNumberStepRel(line, text.c_str(), segment.steps, &room) == 1;
        queued = ok;
    }
    std::string failure;
    if (!ok) failure = CorvexLinkLineGetErrorMessage(line);
    noteState();

    lock.lock();
    auto entry = profiles_.find(address);
    if (entry == profiles_.end() || !entry->second.active) return true;  // stopped meanwhile
    Profile &profile = entry->second;
    if (!ok) {
        profile.active = false;
        profile.failure = failure;
        counters_.errors += 1;
        lock.unlock();
        log("profile of motor " + text + " on line " + name() + " ended: " + failure);
        lock.lock();
        return true;
    }
    if (queued) profile.queued += 1;
    if (profile.queued >= profile.segments.size()) {
        profile.active = false;
    } else {
        profile.nextTry = queued ? now : now + kProfileRetry;
    }
    return true;
}

void ServedLine::noteState() {
    CorvexLinkLine *line = line_.load();
    const int state = line ? CorvexLinkLineGetState(line) : CORVEXLINK_LINE_NOT_OPEN;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state == lastState_) return;
        lastState_ = state;
        if (state == CORVEXLINK_LINE_LOST) {
            counters_.lost += 1;
            reason_ = "the line's device went away";
        }
        if (state == CORVEXLINK_LINE_OPEN) reason_.clear();
    }
    if (state == CORVEXLINK_LINE_LOST) log("line " + name() + " (" + settings_.device + ") lost");
    if (listeners_.line) listeners_.line(*this);
}

void ServedLine::openLocked() {
    CorvexLinkLine *line = nullptr;
    CorvexLinkResult result{};
    if (CorvexLinkLineOpen(settings_.device.c_str(), settings_.rate, &line, &result) != 1) {
        openFailed(result);
    }
    CorvexLinkLineSetTraceHandler(line, &ServedLine::traceThunk, this);
    line_.store(line);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reason_.clear();
        lastOpenFailure_.clear();
    }
    log("line " + name() + " open on " + settings_.device + " at " +
        std::to_string(settings_.rate) + " baud");
}

void ServedLine::openFailed(const CorvexLinkResult &result) {
    bool repeated = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reason_ = result.message;
        repeated = lastOpenFailure_ == result.message;
        lastOpenFailure_ = result.message;
    }
    // Attempts every few seconds for hours would bury the log: a reason is said once.
    if (!repeated) log("line " + name() + ": " + result.message);
    throw LineError(409, result.number, result.message);
}

void ServedLine::scanLocked() {
    CorvexLinkLine *line = line_.load();
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    check(CorvexLinkLineGetConnectedControllers(line, list), "scan");
    std::vector<int> found = parseStations(list);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stations_ = found;
    }
    std::string text;
    for (int a : found) text += (text.empty() ? "" : ",") + std::to_string(a);
    log("line " + name() + ": stations " + (text.empty() ? "none" : text));
}

void ServedLine::checkUsable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!line_.load())
        throw LineError(409, CORVEXLINK_ERR_OPEN_FAILED, "The line is not open: " + reason_);
}

void ServedLine::fail() {
    CorvexLinkLine *line = line_.load();
    const int number = CorvexLinkLineGetNumberError(line);
    const std::string message = CorvexLinkLineGetErrorMessage(line);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        counters_.errors += 1;
    }
    throw LineError(statusFor(number), number, message);
}

void ServedLine::check(int result, const char *what) {
    (void)what;
    if (result != 1) fail();
}

void ServedLine::log(const std::string &text) const {
    if (listeners_.log) listeners_.log(text);
}

// ---- commands -------------------------------------------------------------------------

MotorState ServedLine::read(int address) {
    MotorState state;
    submit(
        [&] {
            checkUsable();
            CorvexLinkLine *line = line_.load();
            const std::string a = addressText(address);
            check(CorvexLinkLineMotorGetStatusRegister(line, a.c_str(), &state.status), "status");
            check(CorvexLinkLineMotorGetPosition(line, a.c_str(), &state.position), "position");
            check(CorvexLinkLineEncoderGetPosition(line, a.c_str(), &state.encoder), "encoder");
            state.ok = true;
            state.time = std::chrono::system_clock::now();
            std::unique_lock<std::mutex> lock(mutex_);
            publishLocked(lock, address, state);
        },
        nullptr);
    return state;
}

void ServedLine::moveRelative(int address, std::int32_t steps) {
    submit(
        [&] {
            checkUsable();
            check(
                CorvexLinkLineMotorNumberStepRel(line_.load(), addressText(address).c_str(), steps),
                "move");
        },
        nullptr);
}

void ServedLine::moveAbsolute(int address, std::int32_t position) {
    submit(
        [&] {
            checkUsable();
            check(CorvexLinkLineMotorGoAbsPos(line_.load(), addressText(address).c_str(), position),
                  "move");
        },
        nullptr);
}

void ServedLine::setSpeeds(int address, std::optional<int> slew, std::optional<int> first,
                           std::optional<int> acceleration, std::optional<int> jog) {
    submit(
        [&] {
            checkUsable();
            CorvexLinkLine *line = line_.load();
            const std::string a = addressText(address);
            if (slew) check(CorvexLinkLineMotorSlewRate(line, a.c_str(), *slew), "slew rate");
            if (first) check(CorvexLinkLineMotorFirstRate(line, a.c_str(), *first), "first rate");
            if (acceleration)
                check(CorvexLinkLineMotorAccelDecel(line, a.c_str(), *acceleration),
                      "acceleration");
            if (jog) check(CorvexLinkLineMotorChangeJogSpeed(line, a.c_str(), *jog), "jog speed");
        },
        nullptr);
}

void ServedLine::playProfile(int address, std::vector<ProfileSegment> segments, int mode) {
    submit(
        [&] {
            checkUsable();
            CorvexLinkLine *line = line_.load();
            const std::string a = addressText(address);
            check(CorvexLinkLineFIFOReset(line, a.c_str()), "FIFO reset");
            check(CorvexLinkLineMotorConfigureMode(line, a.c_str(), mode | kFifoProfileBit),
                  "mode");
            std::lock_guard<std::mutex> lock(mutex_);
            Profile &profile = profiles_[address];
            profile.segments = std::move(segments);
            profile.queued = 0;
            profile.failure.clear();
            profile.active = true;
            profile.nextTry = std::chrono::steady_clock::now();
        },
        nullptr);
    wake_.notify_all();
}

std::optional<nlohmann::json> ServedLine::profileProgress(int address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = profiles_.find(address);
    if (entry == profiles_.end()) return std::nullopt;
    nlohmann::json out = {{"segments", entry->second.segments.size()},
                          {"queued", entry->second.queued},
                          {"active", entry->second.active}};
    if (!entry->second.failure.empty()) out["failure"] = entry->second.failure;
    return out;
}

void ServedLine::scan() {
    submit(
        [&] {
            checkUsable();
            scanLocked();
        },
        "scanning");
}

void ServedLine::initialise() {
    submit(
        [&] {
            checkUsable();
            check(CorvexLinkLineMotorStationsInit(line_.load()), "initialisation");
        },
        "initialising the boards");
}

void ServedLine::changeRate(int rate) {
    submit(
        [&] {
            checkUsable();
            check(CorvexLinkLineChangeBaudRate(line_.load(), rate), "rate change");
        },
        "changing the rate");
}

void ServedLine::reconnect() {
    submit([&] { reopenLocked(); }, "reconnecting");
}

void ServedLine::reopenLocked() {
    CorvexLinkLine *line = line_.load();
    if (!line) {
        openLocked();
        scanLocked();
    } else {
        CorvexLinkResult result{};
        if (CorvexLinkLineReopen(line, &result) != 1) {
            openFailed(result);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lastOpenFailure_.clear();
        }
        log("line " + name() + " open again on " + settings_.device);
    }
    sendOwedStops();
}

bool ServedLine::reconnectStep(std::unique_lock<std::mutex> &lock) {
    using Clock = std::chrono::steady_clock;
    // Lost, or not open since a failed attempt to open it again.
    const bool away = !line_.load() || lastState_ != CORVEXLINK_LINE_OPEN;
    if (settings_.reconnectEvery <= 0 || !away || !busy_.empty()) {
        nextReconnect_ = Clock::time_point{};
        return false;
    }
    const auto every = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(settings_.reconnectEvery));
    const auto now = Clock::now();
    // The first attempt comes one period after the line was found away.
    if (nextReconnect_ == Clock::time_point{}) nextReconnect_ = now + every;
    if (now < nextReconnect_) return false;
    nextReconnect_ = now + every;
    lock.unlock();
    try {
        reopenLocked();
    } catch (const LineError &) {
    }
    noteState();
    lock.lock();
    return true;
}

void ServedLine::sendOwedStops() {
    std::set<int> owed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        owed.swap(owedStops_);
    }
    for (int address : owed) stopQuietly(address, "a stop owed while the line was away");
}

// ---- stops ----------------------------------------------------------------------------

void ServedLine::forget(int address) {
    {
        std::lock_guard<std::mutex> lock(jogMutex_);
        jogs_.erase(address);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto profile = profiles_.find(address);
    if (profile != profiles_.end()) profile->second.active = false;
}

void ServedLine::stop(int address) {
    forget(address);
    CorvexLinkLine *line = line_.load();
    try {
        if (!line) {
            std::lock_guard<std::mutex> lock(mutex_);
            throw LineError(409, CORVEXLINK_ERR_OPEN_FAILED, "The line is not open: " + reason_);
        }
        if (CorvexLinkLineMotorStop(line, addressText(address).c_str()) != 1) fail();
    } catch (const LineError &) {
        // The motor may still run (a lost line, a cable pulled): stop it once the line is
        // back, whoever asked and whatever has happened since.
        std::lock_guard<std::mutex> lock(mutex_);
        owedStops_.insert(address);
        throw;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    owedStops_.erase(address);
}

bool ServedLine::stopQuietly(int address, const std::string &why) {
    try {
        stop(address);
        log("motor " + std::to_string(address) + " on line " + name() + " stopped: " + why);
        return true;
    } catch (const LineError &error) {
        log("motor " + std::to_string(address) + " on line " + name() + ": the stop failed (" +
            why + "): " + error.what());
        return false;
    }
}

nlohmann::json ServedLine::stopAll() {
    CorvexLinkLine *line = line_.load();
    if (!line) {
        std::lock_guard<std::mutex> lock(mutex_);
        throw LineError(409, CORVEXLINK_ERR_OPEN_FAILED, "The line is not open: " + reason_);
    }
    // The stations of the last scan, without scanning again and without waiting for the
    // line: each stop goes out between the transactions of whatever else runs.
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    CorvexLinkLineKnownControllers(line, list);
    nlohmann::json failures = nlohmann::json::array();
    for (int address : parseStations(list)) {
        try {
            stop(address);
        } catch (const LineError &error) {
            failures.push_back(
                {{"address", address}, {"number", error.number()}, {"message", error.what()}});
        }
    }
    return failures;
}

// ---- hold-to-run jogs -----------------------------------------------------------------

void ServedLine::jog(int address, int direction, std::optional<int> speed, std::uint64_t owner) {
    std::uint64_t generation = 0;
    bool turn = false;
    {
        std::lock_guard<std::mutex> lock(jogMutex_);
        auto found = jogs_.find(address);
        if (found != jogs_.end()) {
            if (found->second.owner != owner)
                throw LineError(409, 0,
                                "Motor " + std::to_string(address) + " on line " + name() +
                                    " is jogged by another client");
            if (found->second.direction == direction) {
                found->second.deadline = std::chrono::steady_clock::now() + kJogKeepAlive;
                return;
            }
            turn = true;
        }
    }
    // A jog the other way stops the motor first: a running station refuses a new direction.
    if (turn) stop(address);
    {
        std::lock_guard<std::mutex> lock(jogMutex_);
        generation = ++jogGeneration_;
        jogs_[address] =
            Jog{owner, direction, std::chrono::steady_clock::now() + kJogKeepAlive, generation};
    }
    jogWake_.notify_all();
    try {
        submit(
            [&] {
                checkUsable();
                CorvexLinkLine *line = line_.load();
                const std::string a = addressText(address);
                if (speed) check(CorvexLinkLineMotorChangeJogSpeed(line, a.c_str(), *speed), "jog");
                check(CorvexLinkLineMotorJog(line, a.c_str(), direction > 0 ? 1 : 0), "jog");
            },
            nullptr);
    } catch (...) {
        std::lock_guard<std::mutex> lock(jogMutex_);
        auto found = jogs_.find(address);
        if (found != jogs_.end() && found->second.generation == generation) jogs_.erase(found);
        throw;
    }
    // Released, lapsed or stopped while the jog's frames were waiting their turn: the stop
    // sent then went out before them, so the motor is stopped once more now.
    bool alive = false;
    {
        std::lock_guard<std::mutex> lock(jogMutex_);
        auto found = jogs_.find(address);
        alive = found != jogs_.end() && found->second.generation == generation;
    }
    if (!alive) stopQuietly(address, "the jog ended before it started");
}

void ServedLine::renewJogs(std::uint64_t owner) {
    std::lock_guard<std::mutex> lock(jogMutex_);
    const auto deadline = std::chrono::steady_clock::now() + kJogKeepAlive;
    for (auto &[address, jog] : jogs_)
        if (jog.owner == owner) jog.deadline = deadline;
}

void ServedLine::releaseJog(int address, std::uint64_t owner) {
    {
        std::lock_guard<std::mutex> lock(jogMutex_);
        auto found = jogs_.find(address);
        if (found == jogs_.end() || found->second.owner != owner) return;
    }
    stopQuietly(address, "jog released");
}

void ServedLine::releaseJogs(std::uint64_t owner, const std::string &why) {
    std::vector<int> mine;
    {
        std::lock_guard<std::mutex> lock(jogMutex_);
        for (const auto &[address, jog] : jogs_)
            if (jog.owner == owner) mine.push_back(address);
    }
    for (int address : mine) stopQuietly(address, why);
}

bool ServedLine::jogging(int address) const {
    std::lock_guard<std::mutex> lock(jogMutex_);
    return jogs_.count(address) != 0;
}

void ServedLine::guardMain() {
    std::unique_lock<std::mutex> lock(jogMutex_);
    while (!guardStopping_) {
        auto earliest = std::chrono::steady_clock::time_point::max();
        for (const auto &[address, jog] : jogs_) earliest = std::min(earliest, jog.deadline);
        if (earliest == std::chrono::steady_clock::time_point::max()) {
            jogWake_.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < earliest) {
            jogWake_.wait_until(lock, earliest);
            continue;
        }
        std::vector<int> lapsed;
        const auto now = std::chrono::steady_clock::now();
        for (const auto &[address, jog] : jogs_)
            if (jog.deadline <= now) lapsed.push_back(address);
        lock.unlock();
        for (int address : lapsed) stopQuietly(address, "the jog's keep-alive lapsed");
        lock.lock();
    }
}

// ---- subscriptions, state, trace --------------------------------------------------------

void ServedLine::subscribe(int address) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A motor polled anew is pushed at its first reading, whatever was read before.
        if (subscribed_[address]++ == 0) last_.erase(address);
    }
    wake_.notify_all();
}

void ServedLine::unsubscribe(int address) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = subscribed_.find(address);
    if (found == subscribed_.end()) return;
    if (--found->second <= 0) {
        subscribed_.erase(found);
        // Forget the reading, so a later subscription gets a fresh one pushed.
        last_.erase(address);
        if (cursor_.address == address) cursor_.phase = 0;
    }
}

std::optional<MotorState> ServedLine::lastState(int address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = last_.find(address);
    if (found == last_.end()) return std::nullopt;
    return found->second;
}

bool ServedLine::knows(int address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(stations_.begin(), stations_.end(), address) != stations_.end();
}

std::vector<int> ServedLine::stations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stations_;
}

int ServedLine::subscribedMotors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(subscribed_.size());
}

nlohmann::json ServedLine::describe() const {
    CorvexLinkLine *line = line_.load();
    const int state = line ? CorvexLinkLineGetState(line) : CORVEXLINK_LINE_NOT_OPEN;
    const int rate = line ? CorvexLinkLineGetBaudRate(line) : settings_.rate;
    std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::json out = {{"name", settings_.name},
                          {"device", settings_.device},
                          {"rate", rate},
                          {"state", state == CORVEXLINK_LINE_OPEN   ? "open"
                                    : state == CORVEXLINK_LINE_LOST ? "lost"
                                                                    : "closed"},
                          {"stations", stations_},
                          {"busy", busy_.empty() ? nlohmann::json() : nlohmann::json(busy_)}};
    if (state != CORVEXLINK_LINE_OPEN) out["reason"] = reason_;
    return out;
}

LineCounters ServedLine::counters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    LineCounters out = counters_;
    out.up = line_.load() && lastState_ == CORVEXLINK_LINE_OPEN;
    return out;
}

nlohmann::json ServedLine::traceTail(std::size_t count) const {
    std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::json out = nlohmann::json::array();
    const std::size_t skip = trace_.size() > count ? trace_.size() - count : 0;
    for (std::size_t i = skip; i < trace_.size(); ++i) out.push_back(trace_[i]);
    return out;
}

void ServedLine::traceThunk(const CorvexLinkTraceEvent *event, void *context) {
    static_cast<ServedLine *>(context)->onTrace(*event);
}

void ServedLine::onTrace(const CorvexLinkTraceEvent &event) {
    nlohmann::json entry = {{"kind", kindName(event.kind)},
                            {"bytes", visible(event.bytes, event.length)},
                            {"time", isoTime(std::chrono::system_clock::now())}};
    if (event.sinceSentNs >= 0) entry["ms"] = static_cast<double>(event.sinceSentNs) / 1e6;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (event.kind == CORVEXLINK_TRACE_SENT) counters_.transactions += 1;
        if (event.kind == CORVEXLINK_TRACE_TIMEOUT) counters_.timeouts += 1;
        trace_.push_back(entry);
        if (trace_.size() > kTraceKept) trace_.pop_front();
    }
    if (listeners_.trace) listeners_.trace(*this, entry);
}

}  // namespace corvexweb
