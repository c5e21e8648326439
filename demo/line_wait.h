// SPDX-License-Identifier: MIT
// The long waits on the line (the scan, board initialisation, the address verification, the
// rate change, the queueing of a profile) run their library calls on a thread of their own,
// so that a STOP reaches the line while they go on: the library sends a stop between two
// transactions of another thread's call. Meanwhile the window thread keeps the windows
// painted under the busy pointer and takes only the STOP keys, the STOP buttons and the
// message boxes' buttons; every other click, key and window close is refused, and the
// motor windows' periodic reads let their ticks pass.
#pragma once

#include <functional>

#include <QString>

namespace demo {

// What a call that ran off the window thread returned, and the library's message when it
// returned -1 (read on the thread that made the call, so that a stop served meanwhile on
// the window thread does not stand in for it).
struct LineResult {
    int result = 0;
    QString error;
};

// Runs `call` (library calls only: no widget may be touched) on a thread of its own and
// returns once it has ended; the window thread waits as the file's comment says.
LineResult waitOnLine(const std::function<int()> &call);

// Whether a waitOnLine() is under way.
bool lineBusy();

// Runs `action` now, or once the waitOnLine() under way has ended: for calls that must not
// hold the window thread behind a long wait (what a STOP leaves to send after the stop).
void whenLineFree(std::function<void()> action);

}  // namespace demo
