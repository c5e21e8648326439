// SPDX-License-Identifier: MIT
// A minimal host for the simulator tests: opens the pty slave raw with plain POSIX calls,
// writes frames and collects what comes back.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "kx4417/simulator.h"

namespace simtest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Host {
public:
    explicit Host(const std::string &path, speed_t speed = B9600) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) setRate(speed);
    }
    ~Host() {
        if (fd_ >= 0) ::close(fd_);
    }
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void setRate(speed_t speed) {
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tcsetattr(fd_, TCSANOW, &tio);
    }

    void send(const std::string &bytes) const {
        [[maybe_unused]] auto n = ::write(fd_, bytes.data(), bytes.size());
    }

    // Everything that arrives until `stop` returns true for it, or the time is up.
    template <typename Stop>
    std::string readUntil(Stop stop, std::chrono::milliseconds timeout) const {
        std::string got;
        const auto end = Clock::now() + timeout;
        while (!stop(got)) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buf[512];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

    // One exchange: the frame with its CR, then the answer up to the prompt ("" if none).
    std::string ask(const std::string &frame, std::chrono::milliseconds timeout = 300ms) const {
        send(frame + "\r");
        return readUntil([](const std::string &s) { return s.find('>') != std::string::npos; },
                         timeout);
    }

    // All bytes that arrive within `window`.
    std::string collect(std::chrono::milliseconds window) const {
        return readUntil([](const std::string &) { return false; }, window);
    }

private:
    int fd_ = -1;
};

// A value answer.
inline std::string value(long long v) { return "\r\n" + std::to_string(v) + "\r\n>"; }
inline const std::string kPrompt = "\r\n>";
inline std::string error(int code) { return "?" + std::to_string(code) + "\r\n>"; }

// A simulator with the given stations and a host on its pty, for each test.
class SimHostTest : public ::testing::Test {
protected:
    explicit SimHostTest(std::vector<int> stations) : stations_(std::move(stations)) {}
    void SetUp() override {
        kx4417::SimOptions options;
        options.stations = stations_;
        sim_ = std::make_unique<kx4417::Simulator>(options);
        ASSERT_TRUE(sim_->start());
        host_ = std::make_unique<Host>(sim_->slavePath());
        ASSERT_TRUE(host_->ok());
    }
    void TearDown() override {
        host_.reset();
        sim_->stop();
    }
    kx4417::Simulator &sim() { return *sim_; }
    Host &host() { return *host_; }

    std::vector<int> stations_;
    std::unique_ptr<kx4417::Simulator> sim_;
    std::unique_ptr<Host> host_;
};

}  // namespace simtest
