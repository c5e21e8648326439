// SPDX-License-Identifier: MIT
// Low-latency reception: asks the serial driver to hand received bytes on at once
// (ASYNC_LOW_LATENCY through TIOCGSERIAL/TIOCSSERIAL) and sets the latency timer that USB
// adapters use to hold back small reads to 1 ms, so an answer is seen within a tick of its
// arrival instead of up to 16 ms later.
#include "low_latency_posix.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvex::platform::posix {
namespace {

// The file's first line without its line end, or nullopt-like `ok = false`.
std::string readFirstLine(const std::string &file, bool &ok, int &error) {
    std::ifstream in(file);
    std::string line;
    ok = static_cast<bool>(in) && static_cast<bool>(std::getline(in, line));
    error = ok ? 0 : errno;
    return line;
}

bool writeText(const std::string &file, const std::string &text, int &error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_TRUNC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    const ssize_t n = ::write(fd, text.data(), text.size());
    error = n < 0 ? errno : 0;
    const bool ok = n == static_cast<ssize_t>(text.size());
    if (::close(fd) != 0 && ok) {
        error = errno;
        return false;
    }
    return ok;
}

std::string reason(int error) { return std::strerror(error != 0 ? error : EIO); }

}  // namespace

std::string LowLatency::apply(int fd, const std::string &path, const std::string &sysfsRoot) {
    std::string flag;
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
        flag = "not applied (" + reason(errno) + ")";
    } else if (serial.flags & ASYNC_LOW_LATENCY) {
        flag = "already on";
    } else {
        serial.flags |= ASYNC_LOW_LATENCY;
        if (::ioctl(fd, TIOCSSERIAL, &serial) != 0) {
            flag = "not applied (" + reason(errno) + ")";
        } else {
            flagSet_ = true;
            flag = "set";
        }
    }

    // The sysfs entry carries the kernel's name of the tty: that of the node the path
    // leads to (a /dev/serial/by-id link leads to ttyUSB0).
    std::error_code ec;
    std::filesystem::path node = std::filesystem::canonical(path, ec);
    if (ec) node = path;
    const std::string timer = applyLatencyTimer(sysfsRoot, node.filename().string());
    return "CorvexLink: OpenCommPort --> low latency on " + path + ": low_latency flag " + flag +
           ", latency timer " + timer + "\n";
}

std::string LowLatency::applyLatencyTimer(const std::string &sysfsRoot, const std::string &name) {
    if (name.empty() || name == "." || name == "..") return "none";
    const std::string file = sysfsRoot + "/class/tty/" + name + "/device/latency_timer";
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return "none";
    bool ok = false;
    int error = 0;
    const std::string previous = readFirstLine(file, ok, error);
    if (!ok) return "not applied (" + reason(error) + ")";
    char *end = nullptr;
    const long ms = std::strtol(previous.c_str(), &end, 10);
    if (end == previous.c_str()) return "not applied (unreadable value \"" + previous + "\")";
    if (ms <= 1) return "already " + std::to_string(ms) + " ms";
    if (!writeText(file, "1", error)) {
        return std::to_string(ms) + " ms, not applied (" + reason(error) + ")";
    }
    timerFile_ = file;
    timerPrevious_ = std::to_string(ms);
    return std::to_string(ms) + " ms -> 1 ms";
}

void LowLatency::restoreLatencyTimer() {
    if (timerFile_.empty()) return;
    int error = 0;
    writeText(timerFile_, timerPrevious_, error);
    timerFile_.clear();
}

void LowLatency::restore(int fd) {
    if (flagSet_) {
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
            serial.flags &= ~ASYNC_LOW_LATENCY;
            ::ioctl(fd, TIOCSSERIAL, &serial);
        }
        flagSet_ = false;
    }
    restoreLatencyTimer();
}

}  // namespace corvex::platform::posix
