// SPDX-License-Identifier: MIT
// A line of the server over the line API: open by name, scan, board initialisation, rate
// change, the line lock with each call's own error, the lost-line watch, and the registry
// of the server's lines.
#include "line.h"

#include "checks.h"

#include <algorithm>
#include <cctype>

namespace corvextango {

namespace {

// What a board initialisation gives every station it finds (besides the current asked for).
constexpr int kInitSlewRate = 600;
constexpr int kInitFirstRate = 100;
constexpr int kInitAcceleration = 50;
constexpr int kInitCurrent = CORVEXLINK_CURRENT_MIN;

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

// Marks the line busy for the motors, then takes the line lock for a long operation.
class Line::LongOperation {
public:
    LongOperation(Line &line, const char *what) : line_(line) {
        {
            std::lock_guard state(line_.stateMutex_);
            line_.busyWhat_ = what;
        }
        line_.busy_.store(true);
        lock_ = std::unique_lock(line_.callMutex_);
    }
    ~LongOperation() {
        lock_.unlock();
        line_.busy_.store(false);
    }

private:
    Line &line_;
    std::unique_lock<std::timed_mutex> lock_;
};

Line::Line(std::string owner) : owner_(std::move(owner)) { requestedCurrent_.fill(kInitCurrent); }

Line::~Line() { close(); }

bool Line::open(const LineSettings &settings) {
    LongOperation operation(*this, "opening the line");
    const std::optional<std::string> port = portName(settings.port);
    const std::optional<long> rate = stationRateOf(settings.rate);
    std::string refused;
    if (!port)
        refused = "The Port property \"" + settings.port +
                  "\" names no device: give a COM number (1, COM1), a device path or a URL";
    else if (!rate)
        refused = "The Rate property must be " + stationRates() + " baud; \"" + settings.rate +
                  "\" was refused and the line was not opened";
    bool same = false;
    {
        std::lock_guard state(stateMutex_);
        same = settings == settings_ && rate && rate_ == *rate && portText_ == port;
        settings_ = settings;
    }
    if (same && handle_.load() != nullptr) {
        CorvexLinkResult result{};
        const int reopened = CorvexLinkLineReopen(handle_.load(), &result);
        opened(result, reopened == 1, *port);
        return false;
    }
    closeLocked();
    if (!refused.empty()) {
        std::lock_guard state(stateMutex_);
        health_ = LineHealth::OpenFailed;
        healthText_ = refused;
        throw Failure(FailureKind::Argument, refused);
    }
    CorvexLinkResult result{};
    CorvexLinkLine *handle = nullptr;
    const int ok = CorvexLinkLineOpen(port->c_str(), static_cast<int>(*rate), &handle, &result);
    handle_.store(handle);
    opened(result, ok == 1, *port);
    return true;
}

void Line::reconnect() {
    LineSettings settings;
    {
        LongOperation operation(*this, "reconnecting the line");
        if (CorvexLinkLine *handle = handle_.load()) {
            CorvexLinkResult result{};
            const int reopened = CorvexLinkLineReopen(handle, &result);
            opened(result, reopened == 1, portText());
            return;
        }
        settings = this->settings();
    }
    // The line never opened: open it now, as at start.
    open(settings);
}

void Line::opened(const CorvexLinkResult &result, bool ok, const std::string &text) {
    // The rate in use: the one opened at, or for a line opened again the one it ran at.
    const int rate = CorvexLinkLineGetBaudRate(handle_.load());
    std::lock_guard state(stateMutex_);
    portText_ = text;
    if (rate > 0) rate_ = rate;
    ++generation_;
    known_.fill(KnownSettings{});  // the stations may have been reset meanwhile
    if (!ok) {
        lastError_ = {result.number, result.message};
        health_ = LineHealth::OpenFailed;
        // The library's message names the device it tried and why it failed.
        healthText_ = text == result.device ? std::string(result.message)
                                            : "Cannot open " + text + ": " + result.message;
        throw Failure(FailureKind::Library, healthText_, result.number);
    }
    device_ = result.device[0] != '\0' ? result.device : text;
    health_ = LineHealth::Open;
    healthText_.clear();
}

void Line::close() {
    std::lock_guard lock(callMutex_);
    closeLocked();
}

void Line::closeLocked() {
    {
        std::lock_guard state(stateMutex_);
        if (health_ == LineHealth::Open || health_ == LineHealth::Lost) {
            health_ = LineHealth::Closed;
            healthText_.clear();
        }
    }
    if (CorvexLinkLine *handle = handle_.exchange(nullptr)) CorvexLinkLineClose(handle);
}

std::vector<int> Line::scan() {
    LongOperation operation(*this, "scanning for stations");
    checkUsable();
    CorvexLinkLine *handle = handle_.load();
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    if (CorvexLinkLineGetConnectedControllers(handle, list) != 1)
        fail(handle, "GetConnectedControllers");
    std::vector<int> found = parseStationList(list);
    std::lock_guard state(stateMutex_);
    stations_ = found;
    ++generation_;
    return found;
}

void Line::initialiseBoards() {
    LongOperation operation(*this, "initialising the boards");
    checkUsable();
    CorvexLinkLine *handle = handle_.load();
    if (CorvexLinkLineMotorStationsInit(handle) != 1) fail(handle, "MotorStationsInit");
    std::lock_guard state(stateMutex_);
    for (int address : stations_) {
        KnownSettings &k = known_[address];
        k.slewRate = kInitSlewRate;
        k.firstRate = kInitFirstRate;
        k.acceleration = kInitAcceleration;
        k.current = requestedCurrent_[address];
    }
}

void Line::changeRate(long rate) {
    if (!isStationRate(rate))
        throw Failure(FailureKind::Argument, "The rate must be " + stationRates() + " baud; " +
                                                 std::to_string(rate) +
                                                 " was refused and nothing was sent");
    LongOperation operation(*this, "changing the line rate");
    checkUsable();
    CorvexLinkLine *handle = handle_.load();
    const int changed = CorvexLinkLineChangeBaudRate(handle, static_cast<int>(rate));
    // The port follows the stations even when one of them did not answer.
    const int rateNow = CorvexLinkLineGetBaudRate(handle);
    if (changed != 1) fail(handle, "ZelmarChangeBaudRate");
    std::lock_guard state(stateMutex_);
    rate_ = rateNow;
}

std::unique_lock<std::timed_mutex> Line::enter(bool needLine) {
    std::unique_lock lock(callMutex_, std::defer_lock);
    for (;;) {
        if (busy_.load()) {
            std::lock_guard state(stateMutex_);
            throw Failure(FailureKind::Busy, "The line is busy " + busyWhat_ +
                                                 "; nothing was sent, try again when it is done");
        }
        if (lock.try_lock_for(std::chrono::milliseconds(10))) break;
    }
    if (needLine) checkUsable();
    return lock;
}

void Line::noteLossLocked(const std::string &device) {
    if (health_ != LineHealth::Open) return;
    health_ = LineHealth::Lost;
    healthText_ = "The line is lost (" + device + " went away); Reconnect or Init " + owner_ +
                  " when it is back";
}

LineHealth Line::health() {
    // Asked before the state lock: the library answers without waiting for calls under way.
    const bool lost = CorvexLinkLineGetState(handle_.load()) == CORVEXLINK_LINE_LOST;
    std::lock_guard state(stateMutex_);
    if (lost) noteLossLocked(device_);
    return health_;
}

void Line::checkUsable() {
    const LineHealth now = health();
    std::lock_guard state(stateMutex_);
    switch (now) {
    case LineHealth::Open: return;
    case LineHealth::Lost: throw Failure(FailureKind::Lost, healthText_);
    case LineHealth::OpenFailed: throw Failure(FailureKind::NotOpen, healthText_);
    case LineHealth::Closed: throw Failure(FailureKind::NotOpen, "The line is not open");
    }
}

void Line::fail(CorvexLinkLine *handle, const std::string &what) {
    // The calling thread's own error on this line: no other call can have replaced it.
    const int number = CorvexLinkLineGetNumberError(handle);
    std::string message = CorvexLinkLineGetErrorMessage(handle);
    if (message.empty()) message = what + " failed without a message";
    record(number, message);
    if (number == CORVEXLINK_ERR_LINE_LOST) {
        std::lock_guard state(stateMutex_);
        noteLossLocked(device_);
        throw Failure(FailureKind::Lost, healthText_.empty() ? message : healthText_);
    }
    throw Failure(FailureKind::Library, message, number);
}

void Line::record(int number, const std::string &message) {
    std::lock_guard state(stateMutex_);
    lastError_ = {number, message};
}

void Line::call(const std::string &what, const std::function<int(CorvexLinkLine *)> &call) {
    auto lock = enter(true);
    CorvexLinkLine *handle = handle_.load();
    if (call(handle) == -1) fail(handle, what);
}

int Line::local(const std::function<int(CorvexLinkLine *)> &call) {
    auto lock = enter(false);
    return call(handle_.load());
}

void Line::stop(int address) {
    checkUsable();
    CorvexLinkLine *handle = handle_.load();
    const std::string text = std::to_string(address);
    if (CorvexLinkLineMotorStop(handle, text.c_str()) != 1) fail(handle, "MotorStop");
}

LineSettings Line::settings() const {
    std::lock_guard state(stateMutex_);
    return settings_;
}

std::string Line::healthText() {
    health();
    std::lock_guard state(stateMutex_);
    return healthText_;
}

std::string Line::portText() const {
    std::lock_guard state(stateMutex_);
    return portText_;
}

std::vector<int> Line::stations() const {
    std::lock_guard state(stateMutex_);
    return stations_;
}

long Line::rate() const {
    std::lock_guard state(stateMutex_);
    return rate_;
}

LastError Line::lastError() const {
    std::lock_guard state(stateMutex_);
    return lastError_;
}

unsigned Line::generation() const {
    std::lock_guard state(stateMutex_);
    return generation_;
}

KnownSettings Line::known(int address) const {
    std::lock_guard state(stateMutex_);
    return known_.at(address);
}

void Line::setKnown(int address, const std::function<void(KnownSettings &)> &change) {
    std::lock_guard state(stateMutex_);
    change(known_.at(address));
}

void Line::requestCurrent(int address, int milliamps) {
    std::lock_guard state(stateMutex_);
    requestedCurrent_.at(address) = milliamps;
}

// ---------------------------------------------------------------------------------------

Lines &Lines::instance() {
    static Lines lines;
    return lines;
}

std::shared_ptr<Line> Lines::add(const std::string &device) {
    auto line = std::make_shared<Line>(device);
    std::lock_guard lock(mutex_);
    lines_[lowerCase(device)] = line;
    return line;
}

void Lines::remove(const std::string &device) {
    std::lock_guard lock(mutex_);
    lines_.erase(lowerCase(device));
}

std::shared_ptr<Line> Lines::find(const std::string &name, std::string &why) const {
    std::lock_guard lock(mutex_);
    std::string names;
    for (const auto &[key, line] : lines_) names += (names.empty() ? "" : ", ") + line->owner();
    if (!name.empty()) {
        const auto found = lines_.find(lowerCase(name));
        if (found != lines_.end()) return found->second;
        why = "The Line property \"" + name + "\" names no CorvexLine device of this server (" +
              (names.empty() ? "it has none" : names) + ")";
        return nullptr;
    }
    if (lines_.size() == 1) return lines_.begin()->second;
    why = lines_.empty() ? "This server has no CorvexLine device"
                         : "This server has several lines (" + names +
                               "): the Line property names the one of this motor";
    return nullptr;
}

}  // namespace corvextango
