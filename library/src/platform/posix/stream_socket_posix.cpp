// SPDX-License-Identifier: MIT
// TCP connections to line servers on POSIX systems: a non-blocking socket with TCP_NODELAY
// and keepalive, poll() for the waits and an eventfd for the receive worker's wake-up.
#include "../stream_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace corvex::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Keepalive: a silent peer is probed after 5 s and given up after three unanswered probes
// 2 s apart; data that the peer does not acknowledge for 10 s ends the connection too.
constexpr int kKeepIdleSeconds = 5;
constexpr int kKeepIntervalSeconds = 2;
constexpr int kKeepCount = 3;
constexpr unsigned kUserTimeoutMs = 10000;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class PosixStreamSocket final : public StreamSocket {
public:
    PosixStreamSocket(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}
    ~PosixStreamSocket() override {
        ::close(fd_);
        ::close(wakeFd_);
    }

    IoResult send(const void *bytes, std::size_t count) override {
        IoResult r;
        for (;;) {
            const ssize_t n = ::send(fd_, bytes, count, MSG_NOSIGNAL);
            if (n >= 0) {
                r.status = IoStatus::Ok;
                r.bytes = static_cast<std::size_t>(n);
                return r;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                r.status = IoStatus::Ok;
                return r;
            }
            r.error = errno;
            return r;
        }
    }

    IoResult receive(void *buffer, std::size_t max, bool &closed) override {
        IoResult r;
        closed = false;
        if (max == 0) {
            r.status = IoStatus::Ok;
            return r;
        }
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, max, 0);
            if (n >= 0) {
                r.status = IoStatus::Ok;
                r.bytes = static_cast<std::size_t>(n);
                closed = n == 0;  // the server ended the stream
                return r;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                r.status = IoStatus::Ok;
                return r;
            }
            r.error = errno;
            return r;
        }
    }

    Wait wait(bool writable, int timeoutMs, bool wakeable) override {
        pollfd fds[2] = {{fd_, static_cast<short>(writable ? POLLOUT : POLLIN), 0},
                         {wakeFd_, POLLIN, 0}};
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const int n = ::poll(fds, wakeable ? 2 : 1, timeoutMs < 0 ? -1 : remainingMs(deadline));
            if (n < 0) {
                if (errno == EINTR) continue;
                return Wait::Failed;
            }
            if (n == 0) return Wait::TimedOut;
            if (wakeable && (fds[1].revents & POLLIN) != 0) {
                drainWake();
                return Wait::Woken;
            }
            return Wait::Ready;  // readable, writable, or an error or hang-up to be read
        }
    }

    void waitForWake() override {
        pollfd pfd{wakeFd_, POLLIN, 0};
        while (::poll(&pfd, 1, -1) < 0 && errno == EINTR) {
        }
        drainWake();
    }

    void wake() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }

    bool shutdownSend() override { return ::shutdown(fd_, SHUT_WR) == 0; }

private:
    void drainWake() {
        std::uint64_t value = 0;
        [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
    }

    int fd_;
    int wakeFd_;
};

// The reason of a failed connection in a person's words.
std::string connectFailure(int error, std::chrono::milliseconds bound) {
    switch (error) {
    case ECONNREFUSED: return "connection refused";
    case ETIMEDOUT: return "no answer within " + std::to_string(bound.count() / 1000) + " s";
    case ENETUNREACH: return "network unreachable";
    case EHOSTUNREACH: return "host unreachable";
    default: return std::strerror(error);
    }
}

void setOptions(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds,
                 sizeof kKeepIntervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
#ifdef TCP_USER_TIMEOUT
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
#endif
}

// Tries one address until `deadline`: the connected socket, or -1 with `error` set.
int connectOne(const addrinfo &a, Clock::time_point deadline, int &error) {
    const int fd =
        ::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    setOptions(fd);
    if (::connect(fd, a.ai_addr, a.ai_addrlen) == 0) return fd;
    if (errno != EINPROGRESS) {
        error = errno;
        ::close(fd);
        return -1;
    }
    pollfd pfd{fd, POLLOUT, 0};
    for (;;) {
        const int n = ::poll(&pfd, 1, remainingMs(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n == 0 ? ETIMEDOUT : errno;
            ::close(fd);
            return -1;
        }
        break;
    }
    int soError = 0;
    socklen_t length = sizeof soError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = errno;
    if (soError != 0) {
        error = soError;
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::unique_ptr<StreamSocket> connectStream(const std::string &host, std::uint16_t port,
                                            std::chrono::milliseconds bound, OpenFailure &failure) {
    const auto deadline = Clock::now() + bound;

    // Name lookup has no bound of its own: it runs on a thread of its own.
    struct Lookup {
        std::string host, service;
        addrinfo *list = nullptr;
        int status = EAI_AGAIN;
        ~Lookup() {
            if (list != nullptr) ::freeaddrinfo(list);
        }
    };
    auto lookup = std::make_shared<Lookup>();
    lookup->host = host;
    lookup->service = std::to_string(port);
    const bool looked = runWithin(
        [lookup] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV;
            lookup->status =
                ::getaddrinfo(lookup->host.c_str(), lookup->service.c_str(), &hints, &lookup->list);
        },
        bound);
    if (!looked) {
        failure.set(OpenFailureKind::TimedOut, {},
                    "name not resolved within " + std::to_string(bound.count() / 1000) + " s");
        return nullptr;
    }
    if (lookup->status != 0) {
        failure.set(OpenFailureKind::NoDevice, {},
                    std::string("name not resolved (") + ::gai_strerror(lookup->status) + ")");
        return nullptr;
    }

    std::size_t left = 0;
    for (const addrinfo *a = lookup->list; a != nullptr; a = a->ai_next) ++left;
    int error = ETIMEDOUT;
    for (const addrinfo *a = lookup->list; a != nullptr; a = a->ai_next, --left) {
        if (remainingMs(deadline) == 0) {
            error = ETIMEDOUT;
            break;
        }
        const int fd = connectOne(*a, addressDeadline(deadline, left), error);
        if (fd < 0) continue;
        const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0) {
            error = errno;
            ::close(fd);
            break;
        }
        return std::make_unique<PosixStreamSocket>(fd, wakeFd);
    }
    failure.set(error == ECONNREFUSED ? OpenFailureKind::Refused
                : error == ETIMEDOUT  ? OpenFailureKind::TimedOut
                                      : OpenFailureKind::Other,
                {}, connectFailure(error, bound));
    return nullptr;
}

}  // namespace corvex::platform
