// SPDX-License-Identifier: MIT
// --simulate: kx4417-sim started on a private pseudo-terminal for the duration of one
// command, reached through a link in a private temporary folder.
#pragma once

#include <string>
#include <sys/types.h>

namespace corvexctl {

class SimulatorProcess {
public:
    // Starts the simulator with `stations` and waits until its link appears; throws a
    // Failure when the program is missing or does not come up. `verbose` lets its output
    // through to stderr.
    SimulatorProcess(const std::string &stations, bool verbose);
    // Stops the simulator and removes the link and its folder. When corvexctl ends without
    // it (a crash, SIGKILL), the process that keeps the simulator does the same.
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    const std::string &link() const { return link_; }

private:
    void stop();

    std::string folder_;
    std::string link_;
    pid_t pid_ = -1;     // the keeper, parent of the simulator
    int lifeline_ = -1;  // closing it tells the keeper to stop the simulator
};

// The simulator program: beside corvexctl, in the build tree, or on PATH; empty if none.
std::string findSimulator();

}  // namespace corvexctl
