// SPDX-License-Identifier: MIT
// A scripted line server on loopback, for the server behaviours ser2net does not show: it
// takes one connection, agrees to the COM-port option (RFC 2217) and acknowledges the
// client's COM-port requests, answers every frame with a prompt, and on the test's word sends
// a stream without end, stops reading, or holds back or ignores rate changes. Everything runs
// on one thread of its own, which ends with the object.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/rfc2217_codec.h"

namespace corvex::test {

class TelnetPeer {
public:
    // What the peer does with a SET-BAUDRATE request (other than a query).
    enum class Rates { Acknowledge, Hold, Ignore };

    // `rfc2217`: Telnet with the COM-port option; else a raw byte stream. `receiveWindow`
    // (bytes, 0 for the system's) keeps the connection's buffers small, so that a peer that
    // does not read fills it soon.
    explicit TelnetPeer(bool rfc2217 = true, int receiveWindow = 0) : rfc2217_(rfc2217) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveWindow > 0)
            ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveWindow, sizeof receiveWindow);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &length);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~TelnetPeer() {
        done_.store(true);
        thread_.join();
        if (peer_ >= 0) ::close(peer_);
        ::close(listener_);
    }
    TelnetPeer(const TelnetPeer &) = delete;
    TelnetPeer &operator=(const TelnetPeer &) = delete;

    std::string url() const {
        return std::string(rfc2217_ ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(port_);
    }

    // Sends `pattern` again and again, as fast as the connection takes it, `total` bytes in
    // all (0: until told to stop).
    void flood(const std::string &pattern, std::size_t total = 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        block_.clear();
        while (block_.size() < (4u << 20)) block_ += pattern;
        floodLeft_ = total == 0 ? SIZE_MAX : total;
    }
    void stopFlood() {
        std::lock_guard<std::mutex> lock(mutex_);
        floodLeft_ = 0;
    }
    // Whether the flood has sent all it was given.
    bool floodDone() {
        std::lock_guard<std::mutex> lock(mutex_);
        return floodLeft_ == 0;
    }
    void stopReading() { reading_.store(false); }

    void setRates(Rates rates) {
        std::lock_guard<std::mutex> lock(mutex_);
        rates_ = rates;
    }
    // Sends the rate acknowledgements held back so far.
    void releaseHeldRates() {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_ += held_;
        held_.clear();
    }

    // The line data received so far.
    std::string data() {
        std::lock_guard<std::mutex> lock(mutex_);
        return data_;
    }
    // Whether the client has closed its side of the connection (or reset it).
    bool clientEnded() const { return clientEnded_.load(); }

private:
    void run() {
        pollfd l{listener_, POLLIN, 0};
        while (!done_.load() && ::poll(&l, 1, 10) <= 0) {
        }
        if (done_.load()) return;
        peer_ = ::accept(listener_, nullptr, nullptr);
        const int sendBuffer = 16 << 20;
        ::setsockopt(peer_, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        if (rfc2217_) {
            const unsigned char doComPort[] = {0xff, 0xfd, 0x2c};
            ::send(peer_, doComPort, sizeof doComPort, MSG_NOSIGNAL);
        }
        while (!done_.load()) {
            bool sending = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (sent_ == out_.size()) {
                    // Answers go between two blocks of the flood, never inside a command.
                    out_.clear();
                    sent_ = 0;
                    out_.swap(answers_);
                    if (out_.empty() && floodLeft_ > 0) {
                        out_.assign(block_, 0, std::min(block_.size(), floodLeft_));
                        floodLeft_ -= out_.size();
                    }
                }
                sending = sent_ < out_.size() && !clientEnded_.load();
            }
            const bool reading = reading_.load() && !clientEnded_.load();
            pollfd p{peer_, static_cast<short>((reading ? POLLIN : 0) | (sending ? POLLOUT : 0)),
                     0};
            if (::poll(&p, 1, 10) <= 0) continue;
            if ((p.revents & POLLOUT) != 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                const ssize_t n =
                    ::send(peer_, out_.data() + sent_, out_.size() - sent_, MSG_NOSIGNAL);
                if (n > 0) sent_ += static_cast<std::size_t>(n);
            }
            if (reading && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) receive();
        }
    }

    void receive() {
        char buffer[4096];
        const ssize_t n = ::recv(peer_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // As a server does: the client has finished, so the peer closes its side too.
                clientEnded_.store(true);
                ::shutdown(peer_, SHUT_WR);
            }
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        std::string data;
        if (rfc2217_) {
            platform::rfc2217::Decoded decoded;
            decoder_.receive(buffer, static_cast<std::size_t>(n), decoded);
            data = decoded.data;
            for (const auto &m : decoded.messages) acknowledge(m);
        } else {
            data.assign(buffer, static_cast<std::size_t>(n));
        }
        data_ += data;
        // Every frame a station would answer gets its prompt.
        for (char c : data)
            if (c == '\r') answers_ += "\r\n>";
    }

    // Answers a COM-port request as a server does: the same value, code plus 100.
    void acknowledge(const platform::rfc2217::ComPortMessage &m) {
        namespace telnet = platform::rfc2217;
        std::string answer =
            telnet::request(static_cast<unsigned char>(m.command + telnet::kServerOffset), m.value);
        const bool rateChange =
            m.command == telnet::kSetBaudRate && telnet::baudRateOf(m.value) != 0;
        if (rateChange && rates_ == Rates::Ignore) return;
        if (rateChange && rates_ == Rates::Hold) {
            held_ += answer;
            return;
        }
        answers_ += answer;
    }

    const bool rfc2217_;
    int listener_ = -1;
    int peer_ = -1;
    int port_ = 0;
    std::atomic<bool> done_{false};
    std::atomic<bool> reading_{true};
    std::atomic<bool> clientEnded_{false};
    std::mutex mutex_;
    platform::rfc2217::Decoder decoder_;  // reads the client's stream (its answers unused)
    std::string out_;                     // what is being sent, from sent_ on
    std::size_t sent_ = 0;
    std::string answers_;  // what goes after it
    std::string held_;     // rate acknowledgements held back
    std::string block_;    // a block of the flood
    std::size_t floodLeft_ = 0;
    Rates rates_ = Rates::Acknowledge;
    std::string data_;
    std::thread thread_;
};

}  // namespace corvex::test
