// SPDX-License-Identifier: MIT
// The serial device on POSIX systems: termios in raw mode, exclusive open, low-latency
// reception while open, poll() on the device together with an eventfd so that a close ends
// the worker's wait at once.
#include "../serial_device.h"

#include "../diagnostics.h"
#include "low_latency_posix.h"
#include "termios_speed_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

namespace corvex::platform {

// The termios code of every rate the system's terminal driver knows. Which of them the
// line runs at is the link layer's choice; this table only translates.
speed_t termiosSpeed(std::uint32_t rate) {
    static constexpr struct {
        std::uint32_t rate;
        speed_t code;
    } kSpeeds[] = {
        {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
        {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
        {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto &s : kSpeeds)
        if (s.rate == rate) return s.code;
    return B0;
}

namespace {

class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice(int fd, int wakeFd, std::string path)
        : fd_(fd), wakeFd_(wakeFd), path_(std::move(path)) {
        diag("%s", lowLatency_.apply(fd_, path_).c_str());
    }

    ~PosixSerialDevice() override {
        lowLatency_.restore(fd_);
        // The exclusive flag belongs to the terminal, not to this descriptor: clear it, or
        // the device stays barred to everybody while another descriptor keeps it alive.
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        ::close(wakeFd_);
    }

    const std::string &path() const override { return path_; }

    bool configure(const LineSettings &s) override {
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return false;
        ::cfmakeraw(&tio);  // no echo, no CR/NL translation, no signals
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        tio.c_cflag |= CLOCAL | CREAD;
        switch (s.dataBits) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        default: tio.c_cflag |= CS8; break;
        }
        if (s.parity == 1) tio.c_cflag |= PARENB | PARODD;  // odd
        if (s.parity == 2) tio.c_cflag |= PARENB;           // even
        if (s.stopBits == 2) tio.c_cflag |= CSTOPB;         // two stop bits
        if (s.ctsRtsHandshake) tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        if (s.xonXoff) tio.c_iflag |= IXON | IXOFF;
        tio.c_cc[VSTART] = 0x11;
        tio.c_cc[VSTOP] = 0x13;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        const speed_t speed = termiosSpeed(s.baudRate);
        if (speed == B0) return false;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
        rate_ = s.baudRate;
        // DTR and RTS held on; a pseudo-terminal has no modem lines (ENOTTY/EINVAL).
        setModemLine(TIOCM_DTR | TIOCM_RTS, true);
        return true;
    }

    bool setBaudRate(std::uint32_t rate) override {
        const speed_t speed = termiosSpeed(rate);
        termios tio{};
        if (speed == B0 || ::tcgetattr(fd_, &tio) != 0) return false;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
        rate_ = rate;
        return true;
    }

    bool lost() const override { return lost_.load(); }

    void purge() override { ::tcflush(fd_, TCIOFLUSH); }

    void setDtr(bool on) override { setModemLine(TIOCM_DTR, on); }

    std::size_t bytesWaiting() override {
        int n = 0;
        if (::ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
        return static_cast<std::size_t>(n);
    }

    IoResult write(const void *bytes, std::size_t count, std::chrono::milliseconds bound) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + bound;
        IoResult r;
        const auto *p = static_cast<const unsigned char *>(bytes);
        while (r.bytes < count) {
            const ssize_t n = ::write(fd_, p + r.bytes, count - r.bytes);
            if (n > 0) {
                r.bytes += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                // The output queue is full: wait for room, but never past the deadline.
                const int left = msUntil(deadline);
                if (left <= 0) return timedOut(r);
                pollfd pfd{fd_, POLLOUT, 0};
                ::poll(&pfd, 1, left);
            } else {
                r.error = n < 0 ? errno : EIO;
                r.status = IoStatus::Failed;
                if (isGone(r.error)) lost_.store(true);
                return r;
            }
        }
        if (!drain(deadline)) return timedOut(r);
        r.status = IoStatus::Ok;
        return r;
    }

    IoResult read(void *buffer, std::size_t max) override {
        IoResult r;
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, max);
            if (n >= 0) {
                r.status = IoStatus::Ok;
                r.bytes = static_cast<std::size_t>(n);
                return r;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                r.status = IoStatus::Ok;
                return r;
            }
            r.error = errno;
            return r;
        }
    }

    WaitResult waitReadable() override {
        pollfd pfds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        for (;;) {
            const int n = ::poll(pfds, 2, -1);
            if (n < 0) {
                if (errno == EINTR) continue;
                lost_.store(true);
                return WaitResult::LineLost;
            }
            if (pfds[1].revents & POLLIN) {
                drainWake();
                return WaitResult::Woken;
            }
            // A hung-up terminal reports POLLIN and/or POLLHUP with nothing to read;
            // treating that as readable would spin, so it counts as a lost line.
            if (pfds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
                if (bytesWaiting() > 0) return WaitResult::Readable;
                lost_.store(true);
                return WaitResult::LineLost;
            }
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

private:
    static int msUntil(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 60000));
    }

    // Whether a write's error says the device itself is gone (unplugged, hung up).
    static bool isGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

    static IoResult timedOut(IoResult r) {
        r.status = IoStatus::Failed;
        r.error = kWriteTimedOut;
        return r;
    }

    // Waits until the driver has sent what was written, or the deadline. The driver's queue
    // is read with TIOCOUTQ and the wait sleeps for about the wire time of what is left, so a
    // long frame at a low rate costs a few wake-ups rather than a busy loop. Once the queue is
    // empty, tcdrain waits for the last bytes in the transmitter itself (a few characters at
    // most); a driver without TIOCOUTQ is drained that way at once.
    bool drain(std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            int queued = 0;
            if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) {
                ::tcdrain(fd_);
                return true;
            }
            const int left = msUntil(deadline);
            if (left <= 0) return false;
            const long wireMs = static_cast<long>(queued) * 10 * 1000 / static_cast<long>(rate_);
            const int sleepMs = static_cast<int>(std::clamp<long>(wireMs, 1, left));
            pollfd none{-1, 0, 0};
            ::poll(&none, 1, sleepMs);
        }
    }

    void setModemLine(int bits, bool on) {
        // Pseudo-terminals answer ENOTTY (or EINVAL) to the modem-line requests: tolerated.
        ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits);
    }

    void drainWake() {
        std::uint64_t value = 0;
        [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
    }

    int fd_;
    int wakeFd_;
    std::string path_;
    std::uint32_t rate_ = 9600;  // the line rate last set, for the drain's wait
    std::atomic<bool> lost_{false};
    posix::LowLatency lowLatency_;
};

}  // namespace

namespace {

// Why a device did not open: its kind, and the reason in a person's words. A pointer to the
// whole text, so that the compiler keeps each message as one string (copied piecewise, its
// parts read as typos).
void setOpenFailure(OpenFailure &failure, const std::string &path, int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: failure.set(OpenFailureKind::NoDevice, path, "no such device"); return;
    case EACCES:
    case EPERM:
        failure.set(OpenFailureKind::PermissionDenied, path,
                    "permission denied (add the user to the dialout group, or give the adapter a "
                    "udev rule)");
        return;
    case EBUSY:
    case EWOULDBLOCK:
        failure.set(OpenFailureKind::InUse, path, "in use by another program");
        return;
    default: failure.set(OpenFailureKind::Other, path, std::strerror(error)); return;
    }
}

}  // namespace

std::unique_ptr<SerialDevice> openLocalDevice(const std::string &path, OpenFailure &failure) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setOpenFailure(failure, path, errno);
        return nullptr;
    }
    if (!::isatty(fd)) {
        failure.set(OpenFailureKind::NotSerial, path, "not a serial device");
        ::close(fd);
        return nullptr;
    }
    // Not shared: TIOCEXCL keeps other openers out (root excepted), the advisory lock
    // keeps out every other CorvexLink process, root included.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        setOpenFailure(failure, path, errno);
        ::close(fd);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        setOpenFailure(failure, path, errno);
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSerialDevice>(fd, wakeFd, path);
}

}  // namespace corvex::platform
