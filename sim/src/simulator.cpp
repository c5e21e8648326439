// SPDX-License-Identifier: MIT
// The simulator's engine: the I/O thread that reads frames from the pty master, records
// them, hands them to the stations, shapes the answers with the injected faults and queues
// them for the line.
#include <kx4417/simulator.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "fault_injector.h"
#include "output_queue.h"
#include "pty_line.h"
#include "station_bus.h"
#include "transcript.h"

namespace kx4417 {

namespace {

constexpr std::size_t kMaxFrameBytes = 4096;  // a line without CR is cut here

}  // namespace

class Simulator::Impl {
public:
    explicit Impl(SimOptions options)
        : options_(std::move(options)), transcript_(options_.transcriptLimit),
          bus_(options_.stations, options_.stationBaudRate),
          output_(options_.wireTime, kMaxPendingOutput) {}
    ~Impl() { stop(); }

    bool start();
    void stop();
    bool running() const { return thread_.joinable(); }
    std::string slavePath() const {
        std::lock_guard lock(lineMutex_);
        return slavePath_;
    }

    void hangUp();
    bool reconnect();
    int hostBaudRate() const {
        std::lock_guard lock(lineMutex_);
        return line_.hostBaudRate();
    }

    Transcript &transcript() { return transcript_; }
    const Transcript &transcript() const { return transcript_; }

    // Model and faults, under mutex_.
    template <typename F>
    auto withBus(F &&f) {
        std::lock_guard lock(mutex_);
        bus_.advanceAll(Clock::now());
        return f(bus_);
    }
    void dropNextFrames(int count) {
        std::lock_guard lock(mutex_);
        dropCount_ = std::max(0, count);
    }
    void setAnswerDelay(std::chrono::milliseconds d) {
        std::lock_guard lock(mutex_);
        answerDelay_ = d;
    }
    void scriptNextAnswer(std::vector<std::string> chunks, std::chrono::milliseconds gap) {
        std::lock_guard lock(mutex_);
        script_ = std::move(chunks);
        scriptGap_ = gap;
    }
    void sendRaw(const std::string &bytes) {
        {
            std::lock_guard lock(mutex_);
            output_.schedule(bytes, Clock::now(), hostBaudCache_);
        }
        wake();
    }
    void setFaults(const FaultPlan &plan) {
        std::lock_guard lock(mutex_);
        faults_.configure(plan);
    }
    FaultCounts faultCounts() const {
        std::lock_guard lock(mutex_);
        return faults_.counts();
    }
    std::uint64_t outputDropped() const {
        std::lock_guard lock(mutex_);
        return output_.dropped();
    }

    SimOptions options_;

private:
    void run();
    void runOnIoThread(const std::function<void()> &task);
    void wake();
    void readLine();
    void onFrame(TimePoint now);
    void shapeOutput(const std::string &bytes, std::optional<std::string> answer, int hostBaud,
                     TimePoint now, Frame &frame);
    void hangUpForFault();
    void flushOutgoing();
    int pollTimeoutMs() const;
    bool openLine();
    void closeLine();
    bool updateLink();
    void removeLink();

    // Line state, owned by the I/O thread (or by the caller while it is not running);
    // lineMutex_ guards it against the readers in other threads.
    mutable std::mutex lineMutex_;
    PtyLine line_;
    std::string slavePath_;
    std::string rx_;

    Transcript transcript_;  // guards itself

    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    int wakeFd_ = -1;

    mutable std::mutex mutex_;
    StationBus bus_;
    int dropCount_ = 0;
    std::chrono::milliseconds answerDelay_{0};
    std::optional<std::vector<std::string>> script_;
    std::chrono::milliseconds scriptGap_{0};
    FaultInjector faults_;
    bool hangUpPending_ = false;            // a fault asked for a hang-up; done after the read
    std::optional<TimePoint> reconnectAt_;  // when the line comes back after that hang-up
    OutputQueue output_;                    // what the line carries next
    int hostBaudCache_ = 9600;
    int settledBaud_ = 9600;    // host rate sampled after each pass of the I/O loop
    int lastFrameBaud_ = 9600;  // host rate when the previous frame completed
    std::deque<std::function<void()>> tasks_;
    bool acceptingTasks_ = false;  // the I/O thread runs and will take tasks
};

// ---------------------------------------------------------------- lifecycle

bool Simulator::Impl::start() {
    if (running()) return true;
    if (!openLine()) return false;
    if (!updateLink()) {
        closeLine();
        return false;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        removeLink();
        closeLine();
        return false;
    }
    stopRequested_ = false;
    {
        std::lock_guard lock(mutex_);
        acceptingTasks_ = true;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void Simulator::Impl::stop() {
    if (thread_.joinable()) {
        stopRequested_ = true;
        wake();
        thread_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
    removeLink();
    closeLine();
    std::lock_guard lock(mutex_);
    output_.clear();
    tasks_.clear();
    hangUpPending_ = false;
    reconnectAt_.reset();
}

bool Simulator::Impl::openLine() {
    std::lock_guard lock(lineMutex_);
    if (!line_.open(options_.stationBaudRate)) return false;
    slavePath_ = line_.slavePath();
    rx_.clear();
    return true;
}

void Simulator::Impl::closeLine() {
    std::lock_guard lock(lineMutex_);
    line_.close();
    slavePath_.clear();
    rx_.clear();
}

bool Simulator::Impl::updateLink() {
    const std::string slave = slavePath();
    if (options_.linkPath.empty() || slave.empty()) return true;
    std::string temp = options_.linkPath + ".new";
    ::unlink(temp.c_str());
    if (::symlink(slave.c_str(), temp.c_str()) != 0) return false;
    if (::rename(temp.c_str(), options_.linkPath.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void Simulator::Impl::removeLink() {
    if (options_.linkPath.empty()) return;
    struct stat st {};
    if (::lstat(options_.linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        ::unlink(options_.linkPath.c_str());
}

void Simulator::Impl::hangUp() {
    runOnIoThread([this] {
        closeLine();
        std::lock_guard lock(mutex_);
        output_.clear();
        reconnectAt_.reset();
    });
}

bool Simulator::Impl::reconnect() {
    bool ok = false;
    runOnIoThread([&] {
        closeLine();
        {
            std::lock_guard lock(mutex_);
            output_.clear();
            reconnectAt_.reset();
        }
        ok = openLine() && updateLink();
    });
    return ok;
}

// A hang-up fault: the line goes away now and comes back by itself later.
void Simulator::Impl::hangUpForFault() {
    closeLine();
    std::lock_guard lock(mutex_);
    hangUpPending_ = false;
    output_.clear();
    reconnectAt_ = Clock::now() + faults_.plan().reconnectAfter;
}

// Line changes happen on the I/O thread so that it never polls a closed descriptor.
void Simulator::Impl::runOnIoThread(const std::function<void()> &task) {
    std::promise<void> done;
    auto finished = done.get_future();
    bool posted = false;
    {
        std::lock_guard lock(mutex_);
        if (acceptingTasks_) {
            tasks_.push_back([&] {
                task();
                done.set_value();
            });
            posted = true;
        }
    }
    if (!posted) {
        task();  // no I/O thread: the line is the caller's
        return;
    }
    wake();
    finished.wait();
}

void Simulator::Impl::wake() {
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
}

// ---------------------------------------------------------------- I/O thread

void Simulator::Impl::run() {
    while (!stopRequested_) {
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {wakeFd_, POLLIN, 0};
        int master = line_.masterFd();
        int masterIndex = -1;
        int watchIndex = -1;
        if (master >= 0) {
            bool writing;
            {
                std::lock_guard lock(mutex_);
                writing = output_.due(Clock::now());
            }
            masterIndex = static_cast<int>(count);
            fds[count++] = {master, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
        }
        if (line_.closeWatchFd() >= 0) {
            watchIndex = static_cast<int>(count);
            fds[count++] = {line_.closeWatchFd(), POLLIN, 0};
        }
        int rc = ::poll(fds, count, pollTimeoutMs());
        if (rc < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) {
            std::uint64_t n;
            [[maybe_unused]] auto r = ::read(wakeFd_, &n, sizeof n);
            std::deque<std::function<void()>> tasks;
            {
                std::lock_guard lock(mutex_);
                tasks.swap(tasks_);
            }
            for (auto &t : tasks) t();
        }
        if (watchIndex >= 0 && line_.closeWatchFd() >= 0 && (fds[watchIndex].revents & POLLIN))
            line_.slaveClosed();
        if (masterIndex >= 0 && line_.masterFd() == master) {
            short revents = fds[masterIndex].revents;
            if (revents & POLLIN)
                readLine();
            else if (revents & (POLLHUP | POLLERR))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        bool hangUpNow = false;
        bool reconnectNow = false;
        {
            std::lock_guard lock(mutex_);
            hangUpNow = hangUpPending_;
            reconnectNow = reconnectAt_ && *reconnectAt_ <= Clock::now();
            if (reconnectNow) reconnectAt_.reset();
        }
        if (hangUpNow) hangUpForFault();
        if (reconnectNow && openLine()) updateLink();
        flushOutgoing();
        int baud = line_.hostBaudRate();
        std::lock_guard lock(mutex_);
        settledBaud_ = baud;
    }
    // Tasks posted while stopping still run, so no caller waits forever.
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(mutex_);
        acceptingTasks_ = false;
        tasks.swap(tasks_);
    }
    for (auto &t : tasks) t();
}

// Until the next output or the hang-up's reconnection is due; the idle bound keeps the
// host's line rate freshly sampled.
int Simulator::Impl::pollTimeoutMs() const {
    std::lock_guard lock(mutex_);
    return output_.pollTimeoutMs(Clock::now(), reconnectAt_);
}

void Simulator::Impl::readLine() {
    char buf[1024];
    for (;;) {
        ssize_t n = ::read(line_.masterFd(), buf, sizeof buf);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) {
            rx_.push_back(buf[i]);
            if (buf[i] != '\r' && rx_.size() < kMaxFrameBytes) continue;
            onFrame(Clock::now());
            std::lock_guard lock(mutex_);
            if (hangUpPending_) return;  // the rest of the input goes with the line
        }
    }
}

void Simulator::Impl::onFrame(TimePoint now) {
    Frame frame{now, {}, {}};
    frame.bytes.swap(rx_);
    const std::string &bytes = frame.bytes;
    // An over-long line without CR and a lone CR are recorded but not answered.
    if (bytes.size() > 1 && bytes.back() == '\r') {
        int hostBaud = line_.hostBaudRate();
        std::lock_guard lock(mutex_);
        hostBaudCache_ = hostBaud;
        if (dropCount_ > 0) {
            --dropCount_;
            frame.fault = "frame dropped";
        } else {
            // The rate a '^' frame was sent at: the host switches right after sending it, so the
            // frame may be read only after the switch, and a loop pass may even have sampled the
            // new rate already. The host cannot switch before sending, so the rate at the
            // previous frame is then the one it was sent at.
            const int baudBefore = settledBaud_ != hostBaud ? settledBaud_ : lastFrameBaud_;
            lastFrameBaud_ = hostBaud;
            std::string body = bytes.substr(0, bytes.size() - 1);
            shapeOutput(body, bus_.handleFrame(body, hostBaud, baudBefore, now), hostBaud, now,
                        frame);
        }
    }
    transcript_.record(std::move(frame));
}

// Schedules what the line carries for one frame: a scripted answer, else the stations'
// answer with the injected fault (if any), after the fixed answer delay. Under mutex_.
void Simulator::Impl::shapeOutput(const std::string &body, std::optional<std::string> answer,
                                  int hostBaud, TimePoint now, Frame &frame) {
    TimePoint due = now + answerDelay_;
    if (options_.wireTime) due += byteTime(hostBaud) * static_cast<long>(body.size() + 1);
    if (script_) {
        std::vector<std::string> chunks = std::move(*script_);
        script_.reset();
        frame.fault = "scripted answer, " + std::to_string(chunks.size()) + " pieces";
        for (const auto &chunk : chunks) {
            output_.schedule(chunk, due, hostBaud);
            due += scriptGap_;
        }
        return;
    }
    InjectedOutput out =
        faults_.apply(answer, [&] { return bus_.strayAnswer(body, hostBaud, now); });
    frame.fault = std::move(out.description);
    if (answerDelay_.count() > 0 && !out.pieces.empty()) {
        if (!frame.fault.empty()) frame.fault += ", ";
        frame.fault += "answer delay " + std::to_string(answerDelay_.count()) + " ms";
    }
    if (out.hangUp) hangUpPending_ = true;
    for (const auto &piece : out.pieces)
        output_.schedule(piece.bytes, due + piece.offset, hostBaud);
}

void Simulator::Impl::flushOutgoing() {
    int master = line_.masterFd();
    std::lock_guard lock(mutex_);
    output_.flush(master, Clock::now());
}

// ---------------------------------------------------------------- public face

Simulator::Simulator(SimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
Simulator::~Simulator() = default;

bool Simulator::start() { return impl_->start(); }
void Simulator::stop() { impl_->stop(); }
bool Simulator::running() const { return impl_->running(); }
std::string Simulator::slavePath() const { return impl_->slavePath(); }
std::string Simulator::linkPath() const { return impl_->options_.linkPath; }

std::vector<Frame> Simulator::frames() const { return impl_->transcript().frames(); }
std::vector<std::string> Simulator::frameTexts() const {
    std::vector<std::string> texts;
    for (auto &f : impl_->transcript().frames()) texts.push_back(std::move(f.bytes));
    return texts;
}
void Simulator::clearTranscript() { impl_->transcript().clear(); }
std::vector<Frame> Simulator::takeFrames() { return impl_->transcript().take(); }
bool Simulator::waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->transcript().waitFor(count, timeout);
}
std::uint64_t Simulator::transcriptDropped() const { return impl_->transcript().dropped(); }
std::uint64_t Simulator::outputDropped() const { return impl_->outputDropped(); }

void Simulator::setSilent(int address, bool silent) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(address)) bus.setSilent(address, silent);
    });
}
void Simulator::dropNextFrames(int count) { impl_->dropNextFrames(count); }
void Simulator::setAnswerDelay(std::chrono::milliseconds d) { impl_->setAnswerDelay(d); }
void Simulator::answerErrorCode(int address, int code, int times) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(address)) bus.answerErrorCode(address, code, times);
    });
}
void Simulator::scriptNextAnswer(std::vector<std::string> chunks, std::chrono::milliseconds gap) {
    impl_->scriptNextAnswer(std::move(chunks), gap);
}
void Simulator::sendRaw(const std::string &bytes) { impl_->sendRaw(bytes); }
void Simulator::hangUp() { impl_->hangUp(); }
bool Simulator::reconnect() { return impl_->reconnect(); }
void Simulator::setFaults(const FaultPlan &plan) { impl_->setFaults(plan); }
FaultCounts Simulator::faultCounts() const { return impl_->faultCounts(); }

int Simulator::hostBaudRate() const { return impl_->hostBaudRate(); }
int Simulator::stationBaudRate(int address) const {
    return impl_->withBus(
        [&](StationBus &bus) { return bus.valid(address) ? bus.baudRate(address) : 0; });
}
void Simulator::setFollowsBaudChange(int address, bool follows) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(address)) bus.setFollowsBaudChange(address, follows);
    });
}
void Simulator::setStationBaudRate(int address, int baud) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(address)) bus.setBaudRate(address, baud);
    });
}

StationSnapshot Simulator::station(int address) const {
    return impl_->withBus([&](StationBus &bus) {
        return bus.valid(address) ? bus.snapshot(address) : StationSnapshot{};
    });
}
void Simulator::setUserInputs(int address, int value) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(address)) bus.station(address).setUserInputs(value);
    });
}
void Simulator::setAdcChannel(int master, int channel, int value) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(master) && channel >= 0 && channel < kAdcChannels)
            bus.board(master).adc[static_cast<std::size_t>(channel)] = std::clamp(value, 0, 4095);
    });
}
void Simulator::setLimitSwitch(int address, bool ccw, bool cw) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(address)) bus.station(address).setLimitSwitch(ccw, cw);
    });
}
void Simulator::setStatusOverride(int address, std::optional<int> status) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(address)) bus.station(address).setStatusOverride(status);
    });
}
void Simulator::setPositionRaw(int address, int raw24) {
    impl_->withBus([&](StationBus &bus) {
        if (bus.valid(address))
            bus.station(address).setPositionRaw(raw24 < 0 ? std::nullopt
                                                          : std::optional<int>(raw24));
    });
}

}  // namespace kx4417
