// SPDX-License-Identifier: MIT
// Starting and stopping the private simulator of --simulate.
//
// corvexctl forks a keeper process, and the keeper starts the simulator. corvexctl holds
// the write end of a pipe whose read end the keeper watches: when corvexctl ends in any
// way, SIGKILL included, the pipe closes and the keeper stops the simulator and removes
// the link and its folder. The simulator ends with its keeper too (parent-death signal).
// The keeper calls only async-signal-safe functions, as a forked child must.
#include "simulator_process.h"

#include "session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#    include <sys/prctl.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace corvexctl {

namespace {

constexpr const char *kSimulatorName = "kx4417-sim";
// How long a simulator has to end after SIGTERM before it is killed.
constexpr int kStopMilliseconds = 5000;

bool executable(const std::string &path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

void sleepMilliseconds(long milliseconds) {
    timespec time{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&time, &time) == -1 && errno == EINTR) {
    }
}

// Sends SIGTERM and waits for the end of `pid`, a child; SIGKILL after the bound.
void endChild(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
        if (waited >= kStopMilliseconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        sleepMilliseconds(10);
    }
}

// What the keeper needs, prepared before the fork.
struct KeeperPlan {
    const char *program;
    char *const *argv;
    bool verbose;
    const char *link;
    const char *folder;
    int lifeline;  // read end: end of file when corvexctl has gone
};

// The simulator's side of the second fork: a parent-death signal, its descriptors, exec.
[[noreturn]] void execSimulator(const KeeperPlan &plan, pid_t keeper, int deathPipe) {
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    if (getppid() != keeper) _exit(127);  // the keeper ended before the signal was set
    const int null = open("/dev/null", O_RDWR);
    if (null < 0) _exit(127);
    dup2(null, STDIN_FILENO);
    dup2(plan.verbose ? STDERR_FILENO : null, STDOUT_FILENO);
    if (null > STDERR_FILENO) close(null);
    fcntl(deathPipe, F_SETFD, 0);  // held open by the simulator for its whole life
    execv(plan.program, plan.argv);
    _exit(127);
}

// The keeper: starts the simulator, waits until corvexctl or the simulator has gone (or
// a stop signal came), then ends the simulator and removes the link and its folder.
[[noreturn]] void runKeeper(const KeeperPlan &plan) {
    // Its own process group: Ctrl-C reaches corvexctl only, which closes the port first
    // and then closes the lifeline.
    setpgid(0, 0);
    int deathPipe[2];
    if (pipe2(deathPipe, O_CLOEXEC) != 0) _exit(1);
    const pid_t keeper = getpid();
    const pid_t simulator = fork();
    if (simulator == 0) execSimulator(plan, keeper, deathPipe[1]);
    close(deathPipe[1]);
    // The keeper writes nothing: it does not hold corvexctl's output open for its readers.
    const int null = open("/dev/null", O_RDWR);
    for (int fd = STDIN_FILENO; null >= 0 && fd <= STDERR_FILENO; ++fd) dup2(null, fd);
    if (null > STDERR_FILENO) close(null);
    bool simulatorEnded = simulator < 0;
    if (!simulatorEnded) {
        // corvexctl's stop handlers stay in place: a SIGINT or SIGTERM ends the wait.
        pollfd watched[2] = {{plan.lifeline, POLLIN, 0}, {deathPipe[0], POLLIN, 0}};
        while (poll(watched, 2, -1) < 0 && errno == EINTR && !stopRequested()) {
        }
        simulatorEnded = watched[1].revents != 0;
        endChild(simulator);
    }
    unlink(plan.link);
    rmdir(plan.folder);
    _exit(simulatorEnded ? 1 : 0);
}

}  // namespace

std::string findSimulator() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto beside = (self.parent_path() / kSimulatorName).string();
        if (executable(beside)) return beside;
    }
#ifdef CORVEXCTL_BUILD_SIMULATOR
    if (executable(CORVEXCTL_BUILD_SIMULATOR)) return CORVEXCTL_BUILD_SIMULATOR;
#endif
    const char *path = std::getenv("PATH");
    std::string rest = path ? path : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string dir = rest.substr(0, colon);
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + kSimulatorName;
        if (executable(candidate)) return candidate;
    }
    return "";
}

SimulatorProcess::SimulatorProcess(const std::string &stations, bool verbose) {
    const std::string program = findSimulator();
    if (program.empty()) throw Failure("cannot find kx4417-sim beside corvexctl or on PATH");
    // Standard descriptors that corvexctl was started without are taken first, so that no
    // pipe below lands on them and is then replaced by /dev/null in the children.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) == -1) open("/dev/null", O_RDWR);

    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvexctl-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw Failure("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    folder_ = buffer.data();
    link_ = folder_ + "/com";

    std::vector<std::string> words = {program, "--stations", stations, "--link", link_};
    if (verbose) words.push_back("--transcript");
    std::vector<char *> argv;
    for (auto &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int lifeline[2];
    if (pipe2(lifeline, O_CLOEXEC) != 0) {
        const int error = errno;
        stop();
        throw Failure("cannot start " + program + ": " + std::strerror(error));
    }
    const KeeperPlan plan{program.c_str(), argv.data(),     verbose,
                          link_.c_str(),   folder_.c_str(), lifeline[0]};
    pid_ = fork();
    if (pid_ == 0) {
        close(lifeline[1]);
        runKeeper(plan);
    }
    const int error = errno;
    close(lifeline[0]);
    lifeline_ = lifeline[1];
    if (pid_ < 0) {
        stop();
        throw Failure("cannot start " + program + ": " + std::strerror(error));
    }

    // A loaded machine may take a while to schedule the new process: wait generously.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    struct stat info {};
    while (lstat(link_.c_str(), &info) != 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            stop();
            throw Failure(program + " ended before its line was ready");
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            stop();
            throw Failure(program + " did not make its line within 20 s");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

SimulatorProcess::~SimulatorProcess() { stop(); }

void SimulatorProcess::stop() {
    if (lifeline_ >= 0) {
        close(lifeline_);  // the keeper stops the simulator and removes the link and folder
        lifeline_ = -1;
    }
    if (pid_ > 0) {
        int status = 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopMilliseconds + 5000);
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(pid_, SIGKILL);  // the simulator follows by its parent-death signal
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
    }
    if (!folder_.empty()) {  // already gone when the keeper did its part
        unlink(link_.c_str());
        rmdir(folder_.c_str());
        folder_.clear();
    }
}

}  // namespace corvexctl
