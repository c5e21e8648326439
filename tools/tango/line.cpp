// SPDX-License-Identifier: MIT
// The server's one line over the C API: open, scan, board initialisation, rate change,
// the line lock with the library's error read under it, and the lost-line watch.
#include "line.h"

#include "checks.h"

#include <CorvexLink.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corvextango {

namespace {

// What a board initialisation gives every station it finds (besides the current asked for).
constexpr int kInitSlewRate = 600;
constexpr int kInitFirstRate = 100;
constexpr int kInitAcceleration = 50;
constexpr int kInitCurrent = 50;

// The library's debug line when its receive worker sees the device go away.
constexpr const char *kLineLostMark = " line lost on ";

void forwardDebugLine(const char *line, void *context) {
    static_cast<Line *>(context)->debugLine(line);
}

std::string trimmed(const char *text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
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

Line &Line::instance() {
    static Line line;
    return line;
}

Line::Line() {
    requestedCurrent_.fill(kInitCurrent);
    CorvexLinkSetDebugHandler(forwardDebugLine, this);
}

Line::~Line() {
    // The library outlives this object at exit: its last debug lines go to its own sink.
    CorvexLinkSetDebugHandler(nullptr, nullptr);
}

bool Line::claim(const std::string &device) {
    std::lock_guard state(stateMutex_);
    if (owner_.empty()) owner_ = device;
    return owner_ == device;
}

void Line::release(const std::string &device) {
    std::lock_guard state(stateMutex_);
    if (owner_ == device) owner_.clear();
}

std::string Line::owner() const {
    std::lock_guard state(stateMutex_);
    return owner_;
}

void Line::debugLine(const char *line) {
    // The default sink writes the lines to stderr when CORVEXLINK_DEBUG is 1; a handler
    // replaces it, so the server keeps that behaviour.
    const char *debug = std::getenv("CORVEXLINK_DEBUG");
    if (debug && std::strcmp(debug, "1") == 0) std::fputs(line, stderr);
    if (std::strstr(line, kLineLostMark) == nullptr) return;
    std::lock_guard state(stateMutex_);
    if (health_ != LineHealth::Open) return;
    health_ = LineHealth::Lost;
    healthText_ = "The line is lost (" + trimmed(line) +
                  "); Reconnect or Init the line device when it is back";
}

void Line::open(const LineSettings &settings) {
    LongOperation operation(*this, "opening the line");
    {
        std::lock_guard state(stateMutex_);
        settings_ = settings;
    }
    openLocked(settings.port, settings.rate);
}

void Line::reconnect() {
    LongOperation operation(*this, "reconnecting the line");
    std::string port;
    long rate = 0;
    {
        std::lock_guard state(stateMutex_);
        port = settings_.port;
        rate = rate_;
    }
    openLocked(port, rate);
}

void Line::openLocked(const std::string &port, long rate) {
    closeLocked();
    const std::optional<PortChoice> choice = parsePort(port);
    if (!choice) {
        const std::string message =
            "The Port property \"" + port + "\" is neither a COM number nor a device path or URL";
        std::lock_guard state(stateMutex_);
        health_ = LineHealth::OpenFailed;
        healthText_ = message;
        throw Failure(FailureKind::Argument, message);
    }
    std::string text = "COM" + std::to_string(choice->number);
    if (!choice->device.empty()) {
        // The library opens COM<n> on the device that CORVEXLINK_COM<n> names.
        setenv(("CORVEXLINK_COM" + std::to_string(choice->number)).c_str(), choice->device.c_str(),
               1);
        text += " (" + choice->device + ")";
    }
    const int opened = PortOpen(choice->number, static_cast<int>(rate));
    // The library is never called with the state lock held: its debug handler takes it.
    const int number = opened == 1 ? 0 : ZelmarGetNumberError();
    const std::string message = opened == 1 ? "" : ZelmarGetErrorMessage();
    std::lock_guard state(stateMutex_);
    portText_ = text;
    rate_ = rate;
    ++generation_;
    known_.fill(KnownSettings{});  // the stations may have been reset meanwhile
    if (opened != 1) {
        lastError_ = {number, message};
        health_ = LineHealth::OpenFailed;
        healthText_ = "Cannot open " + text + ": " + message;
        throw Failure(FailureKind::Library, healthText_, number);
    }
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
        if (health_ == LineHealth::Closed || health_ == LineHealth::OpenFailed) return;
        health_ = LineHealth::Closed;
        healthText_.clear();
    }
    PortClose();
}

std::vector<int> Line::scan() {
    LongOperation operation(*this, "scanning for stations");
    checkUsable();
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    if (GetConnectedControllers(list) != 1) fail("GetConnectedControllers");
    std::vector<int> found = parseStationList(list);
    std::lock_guard state(stateMutex_);
    stations_ = found;
    ++generation_;
    return found;
}

void Line::initialiseBoards() {
    LongOperation operation(*this, "initialising the boards");
    checkUsable();
    if (MotorStationsInit() != 1) fail("MotorStationsInit");
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
    const int changed = ZelmarChangeBaudRate(static_cast<int>(rate));
    // The port follows the stations even when one of them did not answer.
    const int rateNow = ZelmarGetBaudRate();
    {
        std::lock_guard state(stateMutex_);
        rate_ = rateNow;
    }
    if (changed != 1) fail("ZelmarChangeBaudRate");
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

void Line::checkUsable() const {
    std::lock_guard state(stateMutex_);
    switch (health_) {
    case LineHealth::Open: return;
    case LineHealth::Lost: throw Failure(FailureKind::Lost, healthText_);
    case LineHealth::OpenFailed: throw Failure(FailureKind::NotOpen, healthText_);
    case LineHealth::Closed: throw Failure(FailureKind::NotOpen, "The line is not open");
    }
}

void Line::fail(const std::string &what) {
    const int number = ZelmarGetNumberError();
    std::string message = ZelmarGetErrorMessage();
    if (message.empty()) message = what + " failed without a message";
    record(number, message);
    throw Failure(FailureKind::Library, message, number);
}

void Line::record(int number, const std::string &message) {
    std::lock_guard state(stateMutex_);
    lastError_ = {number, message};
}

void Line::call(const std::string &what, const std::function<int()> &call) {
    auto lock = enter(true);
    if (call() == -1) fail(what);
}

int Line::local(const std::function<int()> &call) {
    auto lock = enter(false);
    return call();
}

void Line::stop(int address) {
    checkUsable();
    const std::string text = std::to_string(address);
    if (MotorStop(text.c_str()) == 1) return;
    // Read at once: the line lock is not held, so a call that starts now could clear it.
    fail("MotorStop");
}

LineSettings Line::settings() const {
    std::lock_guard state(stateMutex_);
    return settings_;
}

LineHealth Line::health() const {
    std::lock_guard state(stateMutex_);
    return health_;
}

std::string Line::healthText() const {
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

}  // namespace corvextango
