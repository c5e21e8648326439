// SPDX-License-Identifier: MIT
// The logical port names on POSIX systems: COM<n> leads to $CORVEXLINK_COM<n>, else to the
// COM<n> line of the user's ports.conf, else to that of the system's, else to /dev/ttyS<n-1>.
// The files are read at every resolution, so an edit takes effect at the next open.
#include "port_names_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>

#include "../diagnostics.h"
#include "../network_name.h"
#include "port_list_posix.h"
#include "system_paths_posix.h"

extern char **environ;

namespace corvex::platform {
namespace posix {
namespace {

constexpr const char *kEnvPrefix = "CORVEXLINK_COM";
// A ports.conf holds a line per port: 64 KiB is over a thousand of them.
constexpr std::size_t kMaxPortsConfBytes = 64 * 1024;

std::mutex &stateMutex() {
    static std::mutex *m = new std::mutex;  // never destroyed: usable during process exit
    return *m;
}

// Keys (file, line number, text) of malformed lines already reported.
std::set<std::string> &reportedLines() {
    static std::set<std::string> *lines = new std::set<std::string>;
    return *lines;
}

void reportOnce(const std::string &file, int line, const std::string &text,
                const std::string &why) {
    {
        std::lock_guard<std::mutex> lock(stateMutex());
        if (!reportedLines().insert(file + '\n' + std::to_string(line) + '\n' + text).second)
            return;
    }
    diag("CorvexLink: %s:%d: %s, line skipped: %s\n", file.c_str(), line, why.c_str(),
         text.c_str());
}

std::string trim(const std::string &s) {
    const auto isBlank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(s.begin(), s.end(), isBlank);
    auto end =
        std::find_if_not(s.rbegin(), std::string::const_reverse_iterator(begin), isBlank).base();
    return std::string(begin, end);
}

// A decimal port number 1..INT_MAX, or 0.
int parsePortNumber(const std::string &digits) {
    if (digits.empty() || digits.size() > 10) return 0;
    long long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= INT_MAX ? static_cast<int>(n) : 0;
}

// The number of a "COM<n>" name (any case), or 0.
int portOfName(const std::string &name) {
    if (name.size() < 4 || strncasecmp(name.c_str(), "COM", 3) != 0) return 0;
    return parsePortNumber(name.substr(3));
}

// What kind of file a mode names, for the report on a ports.conf that is not a plain file.
const char *fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

// Says once per process, for the same file and reason, why a ports.conf was not read.
void reportFileOnce(const std::string &path, const std::string &why) {
    {
        std::lock_guard<std::mutex> lock(stateMutex());
        if (!reportedLines().insert(path + '\n' + why).second) return;
    }
    diag("CorvexLink: %s: %s, file skipped\n", path.c_str(), why.c_str());
}

// The text of a ports.conf, or nothing. Only a regular file of at most kMaxPortsConfBytes
// is read: a FIFO would block every open, a device could be endless or change a line's
// state by being opened, and a huge file would cost its reading at every open. A file that
// does not exist is the normal case and says nothing; anything else that keeps a file from
// being read is reported once and the file is skipped.
std::optional<std::string> readPortsConf(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            reportFileOnce(path, "a symbolic link to nothing");
        } else if (error != ENOENT) {
            reportFileOnce(path, std::string("cannot be read (") + std::strerror(error) + ")");
        }
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        reportFileOnce(path, std::string("not a regular file (") + fileKind(st.st_mode) + ")");
        return std::nullopt;
    }
    // Opened without blocking and checked again, in case the name was changed in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reportFileOnce(path, std::string("cannot be read (") + std::strerror(errno) + ")");
        return std::nullopt;
    }
    std::string text;
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular) {
        // One byte beyond the bound tells a file that grew since the check.
        text.resize(kMaxPortsConfBytes + 1);
        std::size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
            } else if (n == 0 || errno != EINTR) {
                break;
            }
        }
        text.resize(got);
    }
    ::close(fd);
    if (!regular) {
        reportFileOnce(path, std::string("not a regular file (") + fileKind(st.st_mode) + ")");
        return std::nullopt;
    }
    if (text.size() > kMaxPortsConfBytes ||
        static_cast<std::uintmax_t>(st.st_size) > kMaxPortsConfBytes) {
        const auto size =
            std::max<std::uintmax_t>(static_cast<std::uintmax_t>(st.st_size), text.size());
        reportFileOnce(path, "larger than " + std::to_string(kMaxPortsConfBytes) + " bytes (" +
                                 std::to_string(size) + " bytes)");
        return std::nullopt;
    }
    return text;
}

// True when both paths name the same file (through links), or are the same text when
// either cannot be reached.
bool sameNode(const std::string &a, const std::string &b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    return std::filesystem::path(a).lexically_normal() ==
           std::filesystem::path(b).lexically_normal();
}

}  // namespace

std::vector<PortsConfEntry> parsePortsConf(const std::string &text, const std::string &fileName) {
    std::vector<PortsConfEntry> entries;
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    while (std::getline(in, raw)) {
        ++lineNumber;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#') continue;
        // A comment after the entry starts with a blank followed by '#'.
        for (std::size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '#' && std::isspace(static_cast<unsigned char>(line[i - 1]))) {
                line = trim(line.substr(0, i));
                break;
            }
        }
        const std::size_t equals = line.find('=');
        const int port = equals == std::string::npos ? 0 : portOfName(trim(line.substr(0, equals)));
        const std::string device = equals == std::string::npos ? "" : trim(line.substr(equals + 1));
        if (port == 0 || device.empty() || (device[0] != '/' && !isNetworkName(device))) {
            reportOnce(fileName, lineNumber, line, "not \"COM<n> = /path/of/device\"");
            continue;
        }
        const auto earlier =
            std::find_if(entries.begin(), entries.end(),
                         [port](const PortsConfEntry &e) { return e.port == port; });
        if (earlier != entries.end()) {
            reportOnce(fileName, lineNumber, line,
                       "COM" + std::to_string(port) + " is already given on line " +
                           std::to_string(earlier->line));
            continue;
        }
        entries.push_back({port, device, fileName, lineNumber});
    }
    return entries;
}

std::vector<std::string> portsConfFiles() {
    std::vector<std::string> files;
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    const char *config = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv("HOME");
    if (config != nullptr && config[0] == '/') {
        files.push_back(std::string(config) + "/corvexlink/ports.conf");
    } else if (home != nullptr && home[0] == '/') {
        files.push_back(std::string(home) + "/.config/corvexlink/ports.conf");
    }
    files.push_back(SystemPathsInUse::get().systemPortsConf);
    return files;
}

PortMapping resolvePortIn(int port, const std::string &devRoot) {
    PortMapping m;
    m.port = port;
    if (port <= 0) return m;
    const std::string variable = kEnvPrefix + std::to_string(port);
    if (const char *mapped = std::getenv(variable.c_str());
        mapped != nullptr && mapped[0] != '\0') {
        m.device = mapped;
        m.source = variable;
        return m;
    }
    for (const std::string &file : portsConfFiles()) {
        const std::optional<std::string> text = readPortsConf(file);
        if (!text) continue;
        for (const PortsConfEntry &e : parsePortsConf(*text, file)) {
            if (e.port != port) continue;
            m.device = e.device;
            m.source = file + ":" + std::to_string(e.line);
            return m;
        }
    }
    m.device = devRoot + "/ttyS" + std::to_string(port - 1);
    m.source = "default";
    return m;
}

int portNumberIn(const std::string &device, const std::string &devRoot) {
    // Candidates: every port named in the environment or a file, and the fallback ttyS
    // number; the smallest one that still resolves to the device wins.
    std::set<int> candidates;
    for (char **e = environ; e != nullptr && *e != nullptr; ++e) {
        const char *equals = std::strchr(*e, '=');
        if (equals == nullptr || std::strncmp(*e, kEnvPrefix, std::strlen(kEnvPrefix)) != 0)
            continue;
        const std::string name(static_cast<const char *>(*e) + 11,
                               equals);  // "COM<n>" after "CORVEXLINK_"
        if (const int n = portOfName(name); n > 0) candidates.insert(n);
    }
    for (const std::string &file : portsConfFiles()) {
        const std::optional<std::string> text = readPortsConf(file);
        if (!text) continue;
        for (const PortsConfEntry &e : parsePortsConf(*text, file)) candidates.insert(e.port);
    }
    const std::string name = std::filesystem::path(device).filename().string();
    if (name.rfind("ttyS", 0) == 0) {
        // ttyS0 is COM1; a leading zero ("ttyS01") is not a ttyS number.
        const std::string digits = name.substr(4);
        if (digits == "0") {
            candidates.insert(1);
        } else if (const int k = digits[0] == '0' ? 0 : parsePortNumber(digits);
                   k > 0 && k < INT_MAX) {
            candidates.insert(k + 1);
        }
    }
    for (int n : candidates) {
        const PortMapping m = resolvePortIn(n, devRoot);
        if (!m.device.empty() && sameNode(m.device, device)) return n;
    }
    return 0;
}

}  // namespace posix

PortMapping resolvePort(int port) { return posix::resolvePortIn(port, posix::devRoot()); }

int portNumberOf(const std::string &device) {
    return posix::portNumberIn(device, posix::devRoot());
}

std::string resolvePortName(int port) { return resolvePort(port).device; }

}  // namespace corvex::platform
