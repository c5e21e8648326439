// SPDX-License-Identifier: MIT
// The simulator's pseudo-terminal: opening it raw, the host's line rate, and the host's
// exclusive-use mark when the host closes the slave.
#include "pty_line.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace kx4417 {

namespace {

struct SpeedEntry {
    speed_t speed;
    int baud;
};

// Every speed code of the terminal driver, to read the rate a host programmed. The
// simulator keeps this apart from the library's rate handling, on purpose: it reports the
// rate the host really set, so a wrong rate chosen by the library shows up in the tests.
constexpr SpeedEntry kSpeeds[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

// True when a process other than this one's descriptor `ownFd` has `path` open. Reads
// /proc; processes it may not look into count as not holding the path.
bool othersHold(const std::string &path, int ownFd) {
    DIR *proc = ::opendir("/proc");
    if (proc == nullptr) return false;
    const std::string self = std::to_string(::getpid());
    bool held = false;
    while (!held) {
        const dirent *process = ::readdir(proc);
        if (process == nullptr) break;
        if (process->d_name[0] < '0' || process->d_name[0] > '9') continue;
        const std::string fdDir = std::string("/proc/") + process->d_name + "/fd";
        DIR *fds = ::opendir(fdDir.c_str());
        if (fds == nullptr) continue;
        while (const dirent *fd = ::readdir(fds)) {
            if (fd->d_name[0] < '0' || fd->d_name[0] > '9') continue;
            if (self == process->d_name && std::atoi(fd->d_name) == ownFd) continue;
            char target[256];
            const std::string link = fdDir + "/" + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0 &&
                path.compare(0, std::string::npos, target, static_cast<std::size_t>(n)) == 0) {
                held = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return held;
}

}  // namespace

int baudFromSpeed(unsigned speed) {
    for (const auto &e : kSpeeds)
        if (e.speed == speed) return e.baud;
    return 0;
}

unsigned speedFromBaud(int baud) {
    for (const auto &e : kSpeeds)
        if (e.baud == baud) return e.speed;
    return 0;
}

PtyLine::~PtyLine() { close(); }

bool PtyLine::open(int baud) {
    close();
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return false;
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        ::close(master);
        return false;
    }
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return false;
    }
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave < 0) {
        ::close(master);
        return false;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        speed_t speed = speedFromBaud(baud);
        if (speed == 0) speed = B9600;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tcsetattr(slave, TCSANOW, &tio);
    }
    int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    master_ = master;
    ownSlave_ = slave;
    slavePath_ = name;
    watchSlave();
    return true;
}

void PtyLine::close() {
    if (watch_ >= 0) ::close(watch_);
    if (ownSlave_ >= 0) ::close(ownSlave_);
    if (master_ >= 0) ::close(master_);
    watch_ = -1;
    ownSlave_ = -1;
    master_ = -1;
    slavePath_.clear();
}

void PtyLine::watchSlave() {
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0) return;
    if (inotify_add_watch(watch_, slavePath_.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
}

int PtyLine::hostBaudRate() const {
    if (master_ < 0) return 0;
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) return 0;
    return baudFromSpeed(cfgetospeed(&tio));
}

void PtyLine::slaveClosed() {
    if (watch_ < 0) return;
    char events[4096];
    while (::read(watch_, events, sizeof events) > 0) {
    }
    if (ownSlave_ >= 0 && !othersHold(slavePath_, ownSlave_)) ioctl(ownSlave_, TIOCNXCL);
}

}  // namespace kx4417
