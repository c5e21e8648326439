// SPDX-License-Identifier: MIT
// The simulator's end of the line: a pseudo-terminal master, plus a slave fd of its own
// that it never reads, so the master does not report a hang-up while no host has the
// slave open, and a watch on the slave that tells when a host closes it.
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
    const std::string &slavePath() const { return slavePath_; }

    // The rate the host programmed on the slave (the master sees the slave's termios);
    // 0 when closed.
    int hostBaudRate() const;

    // Readable when some process has closed the slave (-1 when the watch could not be set
    // up: a host's exclusive-use mark then stays until the line is opened afresh).
    int closeWatchFd() const { return watch_; }
    // Call when closeWatchFd() is readable. Because the simulator's own slave fd keeps the
    // slave open, the kernel never clears a host's exclusive-use mark (TIOCEXCL) by itself;
    // this lifts it once no descriptor of the slave but the simulator's is left, so the
    // next open by an unprivileged host succeeds. A second program's open (even a refused
    // one) and close leave the mark of the host that still holds the line.
    void slaveClosed();

private:
    void watchSlave();

    int master_ = -1;
    int ownSlave_ = -1;
    int watch_ = -1;  // inotify on the slave path
    std::string slavePath_;
};

// termios speed code <-> baud rate; 0 for unknown.
int baudFromSpeed(unsigned speed);
unsigned speedFromBaud(int baud);

}  // namespace kx4417
