// SPDX-License-Identifier: MIT
// Starting and stopping the private simulator of --simulate.
#include "simulator_process.h"

#include "session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

extern char **environ;

namespace corvexctl {

namespace {

constexpr const char *kSimulatorName = "kx4417-sim";

bool executable(const std::string &path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
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

    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvexctl-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw Failure("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    folder_ = buffer.data();
    link_ = folder_ + "/com";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (verbose)
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // Its own process group: Ctrl-C reaches corvexctl only, which closes the port first
    // and then stops the simulator.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<std::string> words = {program, "--stations", stations, "--link", link_};
    if (verbose) words.push_back("--transcript");
    std::vector<char *> argv;
    for (auto &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        pid_ = -1;
        rmdir(folder_.c_str());
        throw Failure("cannot start " + program + ": " + std::strerror(spawned));
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
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
    }
    if (!folder_.empty()) {
        unlink(link_.c_str());
        rmdir(folder_.c_str());
        folder_.clear();
    }
}

}  // namespace corvexctl
