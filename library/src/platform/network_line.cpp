// SPDX-License-Identifier: MIT
// The network line: a serial device whose line hangs off a server (ser2net or a terminal
// server) reached over TCP. Received bytes are decoded into a buffer by whichever thread
// asks first (the receive worker, or a caller waiting for the server's acknowledgement);
// sends are serialised, bounded in time, and never split a Telnet sequence.
#include "network_line.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "clock.h"
#include "diagnostics.h"
#include "network_name.h"
#include "rfc2217_codec.h"
#include "stream_socket.h"

namespace corvex::platform {
namespace {

using Clock = std::chrono::steady_clock;
namespace telnet = rfc2217;

// Decoded bytes held for the link at most; beyond it the socket is left to hold them.
constexpr std::size_t kMaxBuffered = 64 * 1024;
// What one look at the socket reads at most, and for how long: Telnet commands decode to
// nothing, so a server that sends them without end would otherwise keep the reader (and the
// lock that writes, stops and the close also take) forever.
constexpr std::size_t kMaxReadPerPass = 64 * 1024;
constexpr auto kMaxPassTime = std::chrono::milliseconds(5);
// Negotiation answers owed to the server at most. A server that keeps asking (IAC DO for an
// option, again and again) without reading the answers would make them grow without bound;
// beyond this the connection is dropped as lost.
constexpr std::size_t kMaxOwed = 64 * 1024;
// How long a close waits for the server to end its side of the connection and let its
// device go.
constexpr auto kCloseBound = std::chrono::milliseconds(1000);
// A server lets its device go a little after it has closed the connection (ser2net 4.3:
// 10 to 60 ms later on loopback): the close gives it this much more.
constexpr auto kReleaseTime = std::chrono::milliseconds(100);
// The error of a connection dropped because the server did not read the answers it asked
// for (kMaxOwed); the system's error codes are positive.
constexpr int kAnswersUnread = -2;
// The server's COM-port messages remembered for waiting callers.
constexpr std::size_t kMaxMessages = 32;
// The part of a rate change that the estimate of the far side's output cannot see: the way
// through the network to the server's device.
constexpr auto kRateChangeMargin = std::chrono::milliseconds(30);
// The longest a rate change waits for earlier output to leave the far side's line.
constexpr auto kMaxDrainWait = std::chrono::milliseconds(5000);
// How long a request that nothing waits for (DTR, purge) may wait for room to be sent: a
// close on a stalled connection must not hang on them.
constexpr auto kRequestBound = std::chrono::milliseconds(200);
// How long an open watches for a server that closes the connection at once.
constexpr auto kSettleTime = std::chrono::milliseconds(100);
// The slice in which a caller that waits for the server looks at the socket itself.
constexpr int kAnswerSliceMs = 10;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// What became of a lost connection, in a person's words, after "connection ".
std::string lossReason(int error) {
    switch (error) {
    case 0: return "closed by the server";
    case ECONNRESET: return "reset by the server";
    case ETIMEDOUT: return "timed out: the server stopped answering";
    case kAnswersUnread:
        return "dropped: the server asked for more than " + std::to_string(kMaxOwed / 1024) +
               " KiB of negotiation answers without reading them";
    default: return std::string("lost: ") + std::strerror(error);
    }
}

unsigned char paritySetting(std::uint8_t parity) {
    switch (parity) {
    case 1: return 2;   // odd
    case 2: return 3;   // even
    default: return 1;  // none
    }
}

unsigned char stopSetting(std::uint8_t stopBits) {
    switch (stopBits) {
    case 1: return 3;  // one and a half
    case 2: return 2;
    default: return 1;
    }
}

class NetworkLine final : public SerialDevice {
public:
    NetworkLine(std::unique_ptr<StreamSocket> socket, std::string name, bool rfc2217)
        : socket_(std::move(socket)), name_(std::move(name)), rfc2217_(rfc2217) {}

    // A line that was open ends its connection in order; an open that failed leaves at once.
    ~NetworkLine() override {
        if (reportLosses_.load()) finish();
    }

    // RFC 2217: offers the COM-port option and waits for the server to take it.
    bool negotiate(Clock::time_point deadline, OpenFailure &failure) {
        std::string opening;
        {
            std::lock_guard<std::mutex> lock(inMutex_);
            opening = decoder_.opening();
        }
        sendControl(opening, std::chrono::milliseconds(remainingMs(deadline)));
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(inMutex_);
                if (decoder_.comPort() == telnet::ComPortAgreement::Accepted) return true;
                if (decoder_.comPort() == telnet::ComPortAgreement::Refused) {
                    failure.set(OpenFailureKind::Refused, {},
                                "the server refuses the COM-port option (a raw TCP port? use "
                                "tcp://)");
                    return false;
                }
                if (lost_) {
                    failure.set(OpenFailureKind::Other, {}, "connection " + lossReason(lostError_));
                    return false;
                }
            }
            if (remainingMs(deadline) == 0) {
                failure.set(OpenFailureKind::TimedOut, {},
                            "no answer to the COM-port option within " +
                                std::to_string(kNetworkOpenBound.count() / 1000) +
                                " s (a raw TCP port? use tcp://)");
                return false;
            }
            socket_->wait(false, std::min(remainingMs(deadline), kAnswerSliceMs), false);
            pump();
        }
    }

    // A server whose device is taken (by another client, or still being released after the
    // last one) says so and closes the connection at once: the open waits kSettleTime for
    // that, so that it fails with the server's words instead of a line lost at the first
    // command. What arrives meanwhile (a greeting text) is dropped with the open's purge.
    bool settle(OpenFailure &failure) {
        const auto end = Clock::now() + kSettleTime;
        while (remainingMs(end) > 0) {
            socket_->wait(false, remainingMs(end), false);
            pump();
            std::lock_guard<std::mutex> lock(inMutex_);
            if (!lost_) continue;
            std::string said;
            for (char c : buffered_) {
                if (c == '\r' || c == '\n') {
                    if (!said.empty() && said.back() != ' ') said += ' ';
                } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f && said.size() < 80) {
                    said += c;
                }
            }
            while (!said.empty() && said.back() == ' ') said.pop_back();
            // Closed or reset (the server closes before it has read the client's opening).
            // The server's own words tell a device in use from any other refusal.
            std::string lower = said;
            for (char &c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            failure.set(lower.find("in use") != std::string::npos ? OpenFailureKind::InUse
                                                                  : OpenFailureKind::Refused,
                        {},
                        std::string("connection closed by the server at once") +
                            (said.empty() ? "" : " (\"" + said + "\")"));
            return false;
        }
        return true;
    }

    // From the end of the open on, a lost connection is reported (during the open, the
    // open's failure says it).
    void reportLosses() { reportLosses_.store(true); }

    const std::string &path() const override { return name_; }

    bool canChangeLineRate() const override { return rfc2217_; }

    bool lost() const override { return lostSeen_.load(); }

    bool configure(const LineSettings &s) override {
        // A raw stream carries no settings: the server's configuration fixes them.
        if (!rfc2217_) return true;
        unsigned char flow = telnet::kControlNoFlow;
        if (s.xonXoff) flow = telnet::kControlXonXoff;
        if (s.ctsRtsHandshake) flow = telnet::kControlHardware;
        const struct {
            unsigned char command;
            std::string value;
        } settings[] = {
            {telnet::kSetBaudRate, telnet::baudRateValue(s.baudRate)},
            {telnet::kSetDataSize, std::string(1, static_cast<char>(s.dataBits))},
            {telnet::kSetParity, std::string(1, static_cast<char>(paritySetting(s.parity)))},
            {telnet::kSetStopSize, std::string(1, static_cast<char>(stopSetting(s.stopBits)))},
            {telnet::kSetControl, std::string(1, static_cast<char>(flow))},
        };
        const std::uint64_t before = messageCount();
        std::string wire;
        for (const auto &setting : settings)
            wire += telnet::request(setting.command, setting.value);
        if (!sendControl(wire)) return false;
        const auto deadline = Clock::now() + kNetworkAnswerBound;
        for (const auto &setting : settings) {
            const auto answer = waitAnswer(setting.command, before, deadline);
            if (!answer || *answer != setting.value) {
                diag("CorvexLink: %s: the server %s line setting %d\n", name_.c_str(),
                     answer ? "refused" : "did not acknowledge", setting.command);
                return false;
            }
        }
        {
            std::lock_guard<std::mutex> lock(sendMutex_);
            rate_ = s.baudRate;
        }
        // DTR and RTS held on, as on a local line. A server whose device has no modem lines
        // (a pseudo-terminal) does not answer these: nothing waits for them.
        return sendControl(telnet::request(telnet::kSetControl, telnet::kControlDtrOn) +
                           telnet::request(telnet::kSetControl, telnet::kControlRtsOn));
    }

    bool setBaudRate(std::uint32_t rate) override {
        if (!rfc2217_) return false;
        // The server sets the rate at once, without waiting for its output to drain: the
        // change goes out only once what was written before has left the far side's line.
        Clock::time_point drained;
        {
            std::lock_guard<std::mutex> lock(sendMutex_);
            drained = drainedAt_;
        }
        const auto now = Clock::now();
        const auto sent = std::min(drained + kRateChangeMargin, now + kMaxDrainWait);
        if (sent > now) sleepMs(static_cast<unsigned>(remainingMs(sent)));

        const std::uint64_t before = messageCount();
        const std::string value = telnet::baudRateValue(rate);
        if (!sendControl(telnet::request(telnet::kSetBaudRate, value))) return false;
        const auto answer =
            waitAnswer(telnet::kSetBaudRate, before, Clock::now() + kNetworkAnswerBound);
        if (!answer) {
            diag("CorvexLink: %s: no acknowledgement of the rate %u within %d s\n", name_.c_str(),
                 static_cast<unsigned>(rate), static_cast<int>(kNetworkAnswerBound.count() / 1000));
            return false;
        }
        if (*answer != value) {
            diag("CorvexLink: %s: the server set %u baud instead of %u\n", name_.c_str(),
                 static_cast<unsigned>(telnet::baudRateOf(*answer)), static_cast<unsigned>(rate));
            return false;
        }
        std::lock_guard<std::mutex> lock(sendMutex_);
        rate_ = rate;
        return true;
    }

    void purge() override {
        if (rfc2217_)
            sendControl(telnet::request(telnet::kPurgeData, telnet::kPurgeBoth), kRequestBound);
        pump();
        std::lock_guard<std::mutex> lock(inMutex_);
        buffered_.clear();
    }

    void setDtr(bool on) override {
        if (!rfc2217_) return;
        sendControl(telnet::request(telnet::kSetControl,
                                    on ? telnet::kControlDtrOn : telnet::kControlDtrOff),
                    kRequestBound);
    }

    std::size_t bytesWaiting() override {
        pump();
        std::lock_guard<std::mutex> lock(inMutex_);
        return buffered_.size();
    }

    IoResult read(void *buffer, std::size_t max) override {
        pump();
        IoResult r;
        r.status = IoStatus::Ok;
        std::lock_guard<std::mutex> lock(inMutex_);
        r.bytes = std::min(max, buffered_.size());
        std::copy_n(buffered_.begin(), r.bytes, static_cast<char *>(buffer));
        buffered_.erase(buffered_.begin(), buffered_.begin() + static_cast<long>(r.bytes));
        return r;
    }

    WaitResult waitReadable() override {
        waiter_.store(std::this_thread::get_id());
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(inMutex_);
                if (!buffered_.empty()) return WaitResult::Readable;
                if (lost_) return WaitResult::LineLost;
            }
            switch (socket_->wait(false, -1, true)) {
            case StreamSocket::Wait::Woken: return WaitResult::Woken;
            case StreamSocket::Wait::Failed: markLost(EIO); break;
            default: pump(); break;
            }
        }
    }

    // Hands the bytes to the connection within `bound`. The server's device sends them on;
    // a server that stops reading fills the connection, and the write fails at the bound
    // with the bytes that went (never half of a Telnet sequence).
    IoResult write(const void *bytes, std::size_t count, std::chrono::milliseconds bound) override {
        IoResult r;
        if (isLost(r)) return r;
        const auto deadline = Clock::now() + bound;
        const std::string wire = rfc2217_ ? telnet::escapeData(bytes, count)
                                          : std::string(static_cast<const char *>(bytes), count);
        std::lock_guard<std::mutex> lock(sendMutex_);
        // Telnet sequences owed from before go first, whole.
        if (!sendOwed(deadline, r)) return r;
        std::size_t sent = 0;
        r = sendSome(wire, deadline, sent);
        // A doubled 0xFF cut in half: its second half is owed to the stream, or the server
        // would read the next byte as a command.
        if (rfc2217_ && sent > 0 && sent < wire.size() && oddIacRun(wire, sent)) {
            owed_ += static_cast<char>(telnet::kIac);
        }
        r.bytes = rfc2217_ ? telnet::dataBytesSent(bytes, count, sent) : sent;
        // The far side's line is busy with these bytes for ten bit times each.
        const auto now = Clock::now();
        drainedAt_ =
            std::max(drainedAt_, now) +
            std::chrono::microseconds(r.bytes * 10 * 1000000ull / (rate_ > 0 ? rate_ : 9600));
        // Negotiation answers queued meanwhile go now; a failure among them shows on the
        // next write.
        IoResult after;
        if (r.status == IoStatus::Ok) sendOwed(deadline, after);
        return r;
    }

    void waitForWake() override { socket_->waitForWake(); }

    void wake() override { socket_->wake(); }

private:
    // Whether the first `sent` bytes of escaped data end inside a doubled 0xFF.
    static bool oddIacRun(const std::string &wire, std::size_t sent) {
        std::size_t run = 0;
        while (run < sent && static_cast<unsigned char>(wire[sent - 1 - run]) == telnet::kIac)
            ++run;
        return run % 2 == 1;
    }

    // Sends what it can of `wire` until `deadline`; `sent` says how much went.
    IoResult sendSome(const std::string &wire, Clock::time_point deadline, std::size_t &sent) {
        IoResult r;
        while (sent < wire.size()) {
            const IoResult s = socket_->send(wire.data() + sent, wire.size() - sent);
            if (s.status != IoStatus::Ok) {
                r.error = s.error;
                markLost(s.error);
                return r;
            }
            sent += s.bytes;
            if (sent == wire.size()) break;
            if (remainingMs(deadline) == 0) {
                r.error = kWriteTimedOut;
                return r;
            }
            socket_->wait(true, remainingMs(deadline), false);
        }
        r.status = IoStatus::Ok;
        r.bytes = sent;
        return r;
    }

    // Sends the Telnet sequences queued by the decoder and any part of one left over from
    // an earlier send. Called with sendMutex_ held. False (with r set) when they could not
    // all go before `deadline`: what is left stays owed.
    bool sendOwed(Clock::time_point deadline, IoResult &r) {
        {
            std::lock_guard<std::mutex> lock(controlMutex_);
            owed_ += control_;
            control_.clear();
        }
        if (owed_.empty()) return true;
        if (owed_.size() > kMaxOwed) {
            owed_.clear();
            dropUnread();
            isLost(r);
            return false;
        }
        std::size_t sent = 0;
        const IoResult s = sendSome(owed_, deadline, sent);
        owed_.erase(0, sent);
        if (s.status == IoStatus::Ok) return true;
        r.status = IoStatus::Failed;
        r.bytes = 0;
        r.error = s.error;
        return false;
    }

    // Sends a Telnet sequence of the client's own within `bound`.
    bool sendControl(const std::string &wire,
                     std::chrono::milliseconds bound = kNetworkAnswerBound) {
        IoResult r;
        if (isLost(r)) return false;
        {
            std::lock_guard<std::mutex> lock(controlMutex_);
            control_ += wire;
        }
        std::lock_guard<std::mutex> lock(sendMutex_);
        return sendOwed(Clock::now() + bound, r);
    }

    // Queues negotiation answers and sends what the connection takes at once, unless a send
    // is under way (which then sends them when it ends, or the next send does). Nothing here
    // waits for room: the reader must not wait on a server that does not read.
    void queueControl(const std::string &wire) {
        if (wire.empty()) return;
        bool tooMuch = false;
        {
            std::lock_guard<std::mutex> lock(controlMutex_);
            control_ += wire;
            tooMuch = control_.size() > kMaxOwed;
            if (tooMuch) control_.clear();
        }
        if (tooMuch) {
            dropUnread();
            return;
        }
        std::unique_lock<std::mutex> lock(sendMutex_, std::try_to_lock);
        if (!lock.owns_lock()) return;
        IoResult r;
        sendOwed(Clock::now(), r);
    }

    // Drops the connection of a server that asks for more answers than it reads.
    void dropUnread() { markLost(kAnswersUnread); }

    // The server lets its device go once the connection has ended, and a close that did not
    // wait for that would leave the device taken for the next open (the same device through
    // another of the server's ports is refused meanwhile). So the client says it has finished
    // sending, reads what still comes (dropping it) until the server closes its side, and
    // gives the server kReleaseTime to close its device; all within kCloseBound.
    void finish() {
        {
            std::lock_guard<std::mutex> lock(inMutex_);
            if (lost_) return;
        }
        if (!socket_->shutdownSend()) return;
        const auto deadline = Clock::now() + kCloseBound;
        char chunk[4096];
        while (remainingMs(deadline) > 0) {
            socket_->wait(false, remainingMs(deadline), false);
            bool closed = false;
            const IoResult r = socket_->receive(chunk, sizeof chunk, closed);
            if (r.status == IoStatus::Ok && !closed) continue;
            sleepMs(static_cast<unsigned>(
                std::min(remainingMs(deadline), static_cast<int>(kReleaseTime.count()))));
            return;
        }
    }

    // Reads what the socket holds and decodes it. A thread other than the receive worker
    // that brings data or finds the connection lost wakes the worker, whose wait on the
    // socket would not see it.
    void pump() {
        std::string replies;
        bool news = false;  // data, or the connection lost
        bool lostNow = false;
        {
            std::lock_guard<std::mutex> lock(inMutex_);
            if (lost_) return;
            char chunk[4096];
            // Bounded by the bytes read, not those kept, and by time.
            const auto passEnd = Clock::now() + kMaxPassTime;
            std::size_t read = 0;
            while (buffered_.size() < kMaxBuffered && read < kMaxReadPerPass &&
                   Clock::now() < passEnd) {
                bool closed = false;
                const IoResult r = socket_->receive(chunk, sizeof chunk, closed);
                if (r.status != IoStatus::Ok || closed) {
                    lostNow = markLostLocked(r.status != IoStatus::Ok ? r.error : 0);
                    news = true;
                    break;
                }
                if (r.bytes == 0) break;
                read += r.bytes;
                if (!rfc2217_) {
                    buffered_.insert(buffered_.end(), chunk, chunk + r.bytes);
                    news = true;
                    continue;
                }
                telnet::Decoded decoded;
                decoder_.receive(chunk, r.bytes, decoded);
                news = news || !decoded.data.empty();
                buffered_.insert(buffered_.end(), decoded.data.begin(), decoded.data.end());
                replies += decoded.replies;
                for (auto &m : decoded.messages) {
                    messages_.push_back({++messageCount_, m.command, std::move(m.value)});
                    if (messages_.size() > kMaxMessages) messages_.pop_front();
                }
            }
        }
        if (lostNow) reportLoss();
        queueControl(replies);
        if (news && std::this_thread::get_id() != waiter_.load()) socket_->wake();
    }

    // The number of the last COM-port message received: what the socket holds already is
    // taken up first, so that an answer that came late to an earlier request is never taken
    // for the answer to the next one.
    std::uint64_t messageCount() {
        pump();
        std::lock_guard<std::mutex> lock(inMutex_);
        return messageCount_;
    }

    // Waits until the server answers `command` with a message newer than `after`: its value,
    // or nothing when the deadline passes or the connection is lost.
    std::optional<std::string> waitAnswer(unsigned char command, std::uint64_t after,
                                          Clock::time_point deadline) {
        const unsigned char answer = static_cast<unsigned char>(command + telnet::kServerOffset);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(inMutex_);
                for (const Message &m : messages_) {
                    if (m.number > after && m.command == answer) return m.value;
                }
                if (lost_) return std::nullopt;
            }
            if (remainingMs(deadline) == 0) return std::nullopt;
            socket_->wait(false, std::min(remainingMs(deadline), kAnswerSliceMs), false);
            pump();
        }
    }

    bool isLost(IoResult &r) {
        std::lock_guard<std::mutex> lock(inMutex_);
        if (!lost_) return false;
        r.status = IoStatus::Failed;
        r.error = lostError_ > 0 ? lostError_ : EPIPE;
        return true;
    }

    void markLost(int error) {
        bool lostNow = false;
        {
            std::lock_guard<std::mutex> lock(inMutex_);
            lostNow = markLostLocked(error);
        }
        if (lostNow) reportLoss();
        socket_->wake();
    }

    // Marks the connection lost; whether it was not before.
    bool markLostLocked(int error) {
        if (lost_) return false;
        lost_ = true;
        lostError_ = error;
        lostSeen_.store(true);
        return true;
    }

    void reportLoss() {
        if (!reportLosses_.load()) return;
        int error = 0;
        {
            std::lock_guard<std::mutex> lock(inMutex_);
            error = lostError_;
        }
        diag("CorvexLink: %s: connection %s\n", name_.c_str(), lossReason(error).c_str());
    }

    struct Message {
        std::uint64_t number;
        unsigned char command;
        std::string value;
    };

    const std::unique_ptr<StreamSocket> socket_;
    const std::string name_;
    const bool rfc2217_;

    // Receiving, guarded by inMutex_.
    std::mutex inMutex_;
    telnet::Decoder decoder_;
    std::deque<char> buffered_;
    std::deque<Message> messages_;
    std::uint64_t messageCount_ = 0;
    bool lost_ = false;
    int lostError_ = 0;
    std::atomic<bool> lostSeen_{false};  // lost_, for lost() without the lock
    // The thread that waits in waitReadable (the receive worker), which needs no wake-up
    // for what it reads itself.
    std::atomic<std::thread::id> waiter_{};
    std::atomic<bool> reportLosses_{false};

    // Sending, guarded by sendMutex_.
    std::mutex sendMutex_;
    std::string owed_;  // the rest of a Telnet sequence that must go before anything else
    std::uint32_t rate_ = 9600;
    Clock::time_point drainedAt_{};

    // Negotiation answers waiting to be sent, guarded by controlMutex_ (never held while
    // waiting for sendMutex_).
    std::mutex controlMutex_;
    std::string control_;
};

}  // namespace

std::unique_ptr<SerialDevice> openNetworkLine(const std::string &name, OpenFailure &failure) {
    std::string problem;
    const std::optional<NetworkName> parsed = parseNetworkName(name, problem);
    if (!parsed) {
        failure.set(OpenFailureKind::MalformedName, name,
                    "malformed network port name: " + problem);
        return nullptr;
    }
    const auto deadline = Clock::now() + kNetworkOpenBound;
    std::unique_ptr<StreamSocket> socket =
        connectStream(parsed->host, parsed->port, kNetworkOpenBound, failure);
    std::unique_ptr<NetworkLine> line;
    if (socket) {
        line = std::make_unique<NetworkLine>(std::move(socket), name, parsed->rfc2217);
        if ((parsed->rfc2217 && !line->negotiate(deadline, failure)) || !line->settle(failure))
            line.reset();
    }
    if (!line) {
        failure.device = name;
        return nullptr;
    }
    line->reportLosses();
    return line;
}

}  // namespace corvex::platform
