// SPDX-License-Identifier: MIT
// Debian's ser2net, started by a test to serve a device over the network: a configuration
// of the test's own (loopback only, free ports, no character delay, no Nagle), an RFC 2217
// port and a raw TCP port on the same device, started in the foreground and stopped by its
// process id.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

extern char **environ;

namespace corvex::test {

// A TCP port on 127.0.0.1 that nothing listens on at the moment.
inline int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// Whether a socket listens on 127.0.0.1:`port` (read from the kernel's table, so that
// looking does not open a connection, which ser2net would answer by opening the device).
inline bool listeningOn(int port) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") return true;  // 0A: LISTEN
    }
    return false;
}

inline std::string ser2netProgram() {
    for (const char *path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

class Ser2net {
public:
    // Serves `device` (a path ser2net opens at each connection) at `rate` baud.
    explicit Ser2net(std::string device, int rate = 9600)
        : device_(std::move(device)), rate_(rate), rfcPort_(freeLoopbackPort()),
          rawPort_(freeLoopbackPort()) {
        static int counter = 0;
        dir_ =
            std::filesystem::temp_directory_path() /
            ("corvexlink-ser2net-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(dir_);
    }
    ~Ser2net() {
        stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Starts ser2net (again, on the same ports) and waits until both ports listen.
    // False, with the reason in log(), when it is not installed or does not come up in 5 s.
    bool start() {
        const std::string program = ser2netProgram();
        if (program.empty()) {
            note_ = "ser2net is not installed (scripts/install-deps.sh installs it)";
            return false;
        }
        const std::string config = (dir_ / "ser2net.yaml").string();
        std::ofstream(config) << "%YAML 1.1\n---\n"
                              << connection("rfc", "telnet(rfc2217),", rfcPort_)
                              << connection("raw", "", rawPort_);
        const std::string log = (dir_ / "ser2net.log").string();
        const std::string pidFile = (dir_ / "ser2net.pid").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);  // no descriptor of the test
        const char *argv[] = {program.c_str(), "-n",   "-d", "-u", "-c", config.c_str(), "-P",
                              pidFile.c_str(), nullptr};
        const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr,
                                     const_cast<char *const *>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            note_ = "ser2net could not be started";
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!(listeningOn(rfcPort_) && listeningOn(rawPort_))) {
            if (std::chrono::steady_clock::now() > deadline ||
                ::waitpid(pid_, nullptr, WNOHANG) != 0) {
                note_ = "ser2net did not listen within 5 s";
                stop();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // Ends ser2net with `signal` (SIGTERM: an orderly end; SIGKILL: gone at once) and
    // waits for it.
    void stop(int signal = SIGTERM) {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGCONT);
        ::kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
    }

    // Freezes and thaws the server (a peer that stops reading).
    void pause() { ::kill(pid_, SIGSTOP); }
    void resume() { ::kill(pid_, SIGCONT); }

    std::string rfc2217Url() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort_); }
    std::string tcpUrl() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
    int rfc2217Port() const { return rfcPort_; }
    int tcpPort() const { return rawPort_; }
    pid_t pid() const { return pid_; }

    // What went wrong, and what ser2net printed.
    std::string log() const {
        std::ifstream in(dir_ / "ser2net.log");
        std::ostringstream text;
        text << note_ << "\n" << in.rdbuf();
        return text.str();
    }

private:
    std::string connection(const char *name, const char *telnet, int port) const {
        std::ostringstream c;
        c << "connection: &" << name << "\n"
          << "  accepter: " << telnet << "tcp(nodelay),127.0.0.1," << port << "\n"
          << "  connector: serialdev," << device_ << "," << rate_ << "n81,local\n"
          << "  options:\n"
          << "    kickolduser: true\n"
          << "    chardelay: false\n"
          << "    mdns: false\n";
        return c.str();
    }

    std::string device_;
    int rate_;
    int rfcPort_;
    int rawPort_;
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::string note_;
};

}  // namespace corvex::test
