// SPDX-License-Identifier: MIT
// The port operations: open, close, configure, the selected port and rate, and the opening
// and closing of a line that the line exports build on.
#include "port_ops.h"

#include <cstring>

#include "../operations.h"
#include "../platform/clock.h"
#include "line_rates.h"

namespace corvex::link {

namespace {

constexpr unsigned kConfigureSettleMs = 10;  // PortConfigure
constexpr unsigned kCloseDrainMs = 300;      // PortClose: before the device is released

// Marks the port closed as the exports see it. Taken as a step of the line, so that a stop
// served between steps either finishes its transaction first or finds the port closed.
void markClosed(Line &line) {
    const LineGate::Step step(line.gate);
    line.selection.open = false;
}

// Closes a port that is still open and opens the line's device. 1, or -1 with error 36.
int openSelectedPort(Call &call, platform::OpenFailure &failure) {
    Line &line = call.line;
    if (line.selection.open) {
        // The exports see the port closed before the close starts dispatching events, so
        // a call reached from those events finds no open port.
        markClosed(line);
        line.closeDevice();
    }
    ErrorState &errors = call.errors();
    errors.set(errors.number(), "%s", "");  // each open attempt starts with no message
    if (!line.openDevice(failure)) {
        errors.set(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port");
        return -1;
    }
    const LineGate::Step step(line.gate);
    line.selection.open = true;
    return 1;
}

}  // namespace

// Refused before it changes the selection, so the close in progress and the caller of an
// outer open keep theirs.
bool refusedWhileClosing(Call &call) {
    if (!call.line.port.closing()) return false;
    call.errors().set(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port");
    return true;
}

int openLinePort(Call &call, platform::OpenFailure &failure, unsigned settleMs) {
    Line &line = call.line;
    {
        const LineGate::Step step(line.gate);
        line.selection.used = true;
        line.suppressValue = false;
        const std::int32_t rate = lineRateFor(line.selection.baudRate);
        if (rate != 0) line.selection.lineBaudRate = rate;  // an unlisted rate keeps the line's
    }
    if (openSelectedPort(call, failure) != 1) return -1;
    platform::sleepMs(settleMs);
    return 1;
}

int closeLinePort(Call &call, bool drain) {
    Line &line = call.line;
    if (!line.selection.open) {
        call.errors().set(CORVEXLINK_ERR_PORT_NOT_OPEN, "COM port is NOT open");
        return -1;
    }
    if (drain) platform::sleepMs(kCloseDrainMs);
    // Closed as the exports see it before the close dispatches events: a PortClose reached
    // from those events finds no port (error 35), a command finds none (error 25), and a
    // PortOpen is refused (error 36) while the device is being released.
    markClosed(line);
    line.closeDevice();
    return 1;
}

}  // namespace corvex::link

namespace corvex::ops {

int PortOpen(Call &call, int port, int baudRate) {
    if (link::refusedWhileClosing(call)) return -1;
    {
        // A step, so that a stop served meanwhile reads a whole selection.
        const link::LineGate::Step step(call.line.gate);
        call.line.selection.baudRate = baudRate;
        call.line.selection.port = port;
    }
    platform::OpenFailure failure;
    return link::openLinePort(call, failure, link::kOpenSettleMs);
}

int PortConfigure(Call &call) {
    if (link::refusedWhileClosing(call)) return -1;
    call.line.runPortDialog();
    platform::OpenFailure failure;
    return link::openLinePort(call, failure, link::kConfigureSettleMs);
}

int PortClose(Call &call) { return link::closeLinePort(call, true); }

int ZelmarGetPort(Line &line) { return line.selection.port; }

int ZelmarGetBaudRate(Line &line) { return line.selection.baudRate; }

}  // namespace corvex::ops
