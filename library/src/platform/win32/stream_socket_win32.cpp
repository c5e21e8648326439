// SPDX-License-Identifier: MIT
// TCP connections to line servers on Windows (Winsock): a non-blocking socket with
// TCP_NODELAY and keepalive. The receive worker waits on the socket's network event
// together with a wake event; other waits poll the socket.
#include "../stream_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>

#include <cerrno>
#include <mutex>

namespace corvex::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Keepalive: a silent peer is probed after 5 s, then every 2 s (Windows gives up after
// ten unanswered probes).
constexpr ULONG kKeepIdleMs = 5000;
constexpr ULONG kKeepIntervalMs = 2000;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Winsock is started once for the life of the process.
bool winsockStarted() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

class Win32StreamSocket final : public StreamSocket {
public:
    Win32StreamSocket(SOCKET s, WSAEVENT socketEvent, HANDLE wakeEvent)
        : socket_(s), socketEvent_(socketEvent), wakeEvent_(wakeEvent) {}
    ~Win32StreamSocket() override {
        ::closesocket(socket_);
        ::WSACloseEvent(socketEvent_);
        ::CloseHandle(wakeEvent_);
    }

    IoResult send(const void *bytes, std::size_t count) override {
        IoResult r;
        const int n = ::send(socket_, static_cast<const char *>(bytes),
                             static_cast<int>(count > 0x10000000 ? 0x10000000 : count), 0);
        if (n >= 0) {
            r.status = IoStatus::Ok;
            r.bytes = static_cast<std::size_t>(n);
        } else if (::WSAGetLastError() == WSAEWOULDBLOCK) {
            r.status = IoStatus::Ok;
        } else {
            r.error = ::WSAGetLastError() == WSAECONNRESET ? ECONNRESET : EPIPE;
        }
        return r;
    }

    IoResult receive(void *buffer, std::size_t max, bool &closed) override {
        IoResult r;
        closed = false;
        if (max == 0) {
            r.status = IoStatus::Ok;
            return r;
        }
        const int n = ::recv(socket_, static_cast<char *>(buffer),
                             static_cast<int>(max > 0x10000000 ? 0x10000000 : max), 0);
        if (n >= 0) {
            r.status = IoStatus::Ok;
            r.bytes = static_cast<std::size_t>(n);
            closed = n == 0;
        } else if (::WSAGetLastError() == WSAEWOULDBLOCK) {
            r.status = IoStatus::Ok;
        } else {
            const int error = ::WSAGetLastError();
            r.error = error == WSAECONNRESET || error == WSAECONNABORTED ? ECONNRESET
                      : error == WSAETIMEDOUT                            ? ETIMEDOUT
                                                                         : EIO;
        }
        return r;
    }

    Wait wait(bool writable, int timeoutMs, bool wakeable) override {
        if (!wakeable) {
            WSAPOLLFD pfd{};
            pfd.fd = socket_;
            pfd.events = writable ? POLLWRNORM : POLLRDNORM;
            const int n = ::WSAPoll(&pfd, 1, timeoutMs < 0 ? -1 : timeoutMs);
            if (n < 0) return Wait::Failed;
            return n == 0 ? Wait::TimedOut : Wait::Ready;
        }
        // The socket's event is set while data, or the end of the stream, waits to be read.
        HANDLE handles[2] = {socketEvent_, wakeEvent_};
        const DWORD which = ::WaitForMultipleObjects(
            2, handles, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        if (which == WAIT_OBJECT_0 + 1) return Wait::Woken;
        if (which == WAIT_TIMEOUT) return Wait::TimedOut;
        if (which != WAIT_OBJECT_0) return Wait::Failed;
        WSANETWORKEVENTS events{};
        ::WSAEnumNetworkEvents(socket_, socketEvent_, &events);  // resets the event
        return Wait::Ready;
    }

    void waitForWake() override { ::WaitForSingleObject(wakeEvent_, INFINITE); }

    void wake() override { ::SetEvent(wakeEvent_); }

    bool shutdownSend() override { return ::shutdown(socket_, SD_SEND) == 0; }

private:
    SOCKET socket_;
    WSAEVENT socketEvent_;
    HANDLE wakeEvent_;  // auto-reset: one wake() ends one wait, even one not yet begun
};

std::string connectFailure(int error, std::chrono::milliseconds bound) {
    switch (error) {
    case WSAECONNREFUSED: return "connection refused";
    case WSAETIMEDOUT: return "no answer within " + std::to_string(bound.count() / 1000) + " s";
    case WSAENETUNREACH: return "network unreachable";
    case WSAEHOSTUNREACH: return "host unreachable";
    default: return "Winsock error " + std::to_string(error);
    }
}

void setOptions(SOCKET s) {
    const BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
    tcp_keepalive keepalive{};
    keepalive.onoff = 1;
    keepalive.keepalivetime = kKeepIdleMs;
    keepalive.keepaliveinterval = kKeepIntervalMs;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &returned, nullptr,
               nullptr);
}

// Tries one address until `deadline`: the connected socket, or INVALID_SOCKET with `error`.
SOCKET connectOne(const addrinfo &a, Clock::time_point deadline, int &error) {
    SOCKET s = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
    if (s == INVALID_SOCKET) {
        error = ::WSAGetLastError();
        return INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    setOptions(s);
    if (::connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) == 0) return s;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) {
        error = ::WSAGetLastError();
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    // A refused connection shows as an error on the socket, not as writable.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    const int left = remainingMs(deadline);
    timeval timeout{left / 1000, (left % 1000) * 1000};
    const int n = ::select(0, nullptr, &writable, &failed, &timeout);
    if (n <= 0 || FD_ISSET(s, &failed)) {
        int soError = 0;
        int length = sizeof soError;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&soError), &length);
        error = n == 0 ? WSAETIMEDOUT : (soError != 0 ? soError : ::WSAGetLastError());
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace

std::unique_ptr<StreamSocket> connectStream(const std::string &host, std::uint16_t port,
                                            std::chrono::milliseconds bound, OpenFailure &failure) {
    if (!winsockStarted()) {
        failure.set(OpenFailureKind::Other, {}, "Winsock could not be started");
        return nullptr;
    }
    const auto deadline = Clock::now() + bound;

    // Name lookup has no bound of its own: it runs on a thread of its own.
    struct Lookup {
        std::string host, service;
        addrinfo *list = nullptr;
        int status = WSATRY_AGAIN;
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
            hints.ai_protocol = IPPROTO_TCP;
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
                    "name not resolved (Winsock error " + std::to_string(lookup->status) + ")");
        return nullptr;
    }

    std::size_t left = 0;
    for (const addrinfo *a = lookup->list; a != nullptr; a = a->ai_next) ++left;
    int error = WSAETIMEDOUT;
    for (const addrinfo *a = lookup->list; a != nullptr; a = a->ai_next, --left) {
        if (remainingMs(deadline) == 0) {
            error = WSAETIMEDOUT;
            break;
        }
        SOCKET s = connectOne(*a, addressDeadline(deadline, left), error);
        if (s == INVALID_SOCKET) continue;
        WSAEVENT socketEvent = ::WSACreateEvent();
        HANDLE wakeEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (socketEvent == WSA_INVALID_EVENT || wakeEvent == nullptr ||
            ::WSAEventSelect(s, socketEvent, FD_READ | FD_CLOSE) != 0) {
            error = ::WSAGetLastError();
            if (socketEvent != WSA_INVALID_EVENT) ::WSACloseEvent(socketEvent);
            if (wakeEvent != nullptr) ::CloseHandle(wakeEvent);
            ::closesocket(s);
            break;
        }
        return std::make_unique<Win32StreamSocket>(s, socketEvent, wakeEvent);
    }
    failure.set(error == WSAECONNREFUSED ? OpenFailureKind::Refused
                : error == WSAETIMEDOUT  ? OpenFailureKind::TimedOut
                                         : OpenFailureKind::Other,
                {}, connectFailure(error, bound));
    return nullptr;
}

}  // namespace corvex::platform
