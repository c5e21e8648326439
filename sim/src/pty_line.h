// SPDX-License-Identifier: MIT
// The simulator's end of the line: a pseudo-terminal master, plus a slave fd of its own
// that it never reads, so the master does not report a hang-up while no host has the
// slave open.
#pragma once

#include <string>

namespace kx4417 {

class PtyLine {
public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    // Opens a new pty (closing a previous one), sets the slave raw 8N1 at `baud`.
    bool open(int baud);
    void close();
    bool isOpen() const { return master_ >= 0; }

    int masterFd() const { return master_; }
    int ownSlaveFd() const { return ownSlave_; }
    const std::string &slavePath() const { return slavePath_; }

    // The rate the host programmed on the slave (the master sees the slave's termios);
    // 0 when closed.
    int hostBaudRate() const;
    // Lifts an exclusive-use mark that a host left behind when it closed the slave, so the
    // next open by an unprivileged host does not fail with EBUSY. The caller decides when
    // the host that set it is gone.
    void clearExclusive() const;

private:
    int master_ = -1;
    int ownSlave_ = -1;
    std::string slavePath_;
};

// termios speed code <-> baud rate; 0 for unknown.
int baudFromSpeed(unsigned speed);
unsigned speedFromBaud(int baud);

}  // namespace kx4417
