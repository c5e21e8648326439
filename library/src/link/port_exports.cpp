// SPDX-License-Identifier: MIT
// Exports of the port family: open, close, configure, and the selected port and rate.
#include <cstring>

#include "../export.h"
#include "../platform/clock.h"
#include "line.h"
#include "line_rates.h"
#include "transaction.h"

using namespace corvex::link;

extern "C" {
CORVEXLINK_API void *Form2 = nullptr;
}
extern "C" CORVEXLINK_ALIAS_OF("Form2") void *_Form2;

namespace {

constexpr unsigned kOpenSettleMs = 300;      // PortOpen: before the first command
constexpr unsigned kConfigureSettleMs = 10;  // PortConfigure
constexpr unsigned kCloseDrainMs = 300;      // PortClose: before the device is released

// Marks the port closed as the exports see it. Taken as a step of the line, so that a stop
// served between steps either finishes its transaction first or finds the port closed.
void markClosed(Line &line) {
    const LineGate::Step step(line.gate);
    line.selection.open = false;
}

// Closes a port that is still open and opens the selected one. Returns 1, or -1 with error 36.
int openSelectedPort(Call &call) {
    Line &line = call.line;
    if (line.selection.open) {
        // The exports see the port closed before the close starts dispatching events, so
        // a call reached from those events finds no open port.
        markClosed(line);
        line.closeDevice();
    }
    ErrorState &errors = call.errors();
    errors.set(errors.number(), "%s", "");  // each open attempt starts with no message
    if (!line.openDevice(line.selection.port)) {
        errors.set(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port");
        return -1;
    }
    const LineGate::Step step(line.gate);
    line.selection.open = true;
    return 1;
}

// An open reached from the events that a close dispatches: refused before it changes the
// selection, so the close in progress and the caller of an outer open keep theirs.
bool refusedWhileClosing(Call &call) {
    if (!call.line.port.closing()) return false;
    call.errors().set(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port");
    return true;
}

// The common end of PortOpen and PortConfigure: open the selected port at the selected rate
// and give the stations `settleMs` before the first command.
int openSelection(Call &call, unsigned settleMs) {
    Line &line = call.line;
    {
        const LineGate::Step step(line.gate);
        line.selection.used = true;
        line.suppressValue = false;
        const std::int32_t rate = lineRateFor(line.selection.baudRate);
        if (rate != 0) line.selection.lineBaudRate = rate;  // an unlisted rate keeps the line's
    }
    if (openSelectedPort(call) != 1) return -1;
    corvex::platform::sleepMs(settleMs);
    return 1;
}

int openPort(Call &call, int port, int baudRate) {
    if (refusedWhileClosing(call)) return -1;
    call.line.selection.baudRate = baudRate;
    call.line.selection.port = port;
    return openSelection(call, kOpenSettleMs);
}

int configurePort(Call &call) {
    if (refusedWhileClosing(call)) return -1;
    call.line.runPortDialog();
    return openSelection(call, kConfigureSettleMs);
}

int closePort(Call &call) {
    Line &line = call.line;
    if (!line.selection.open) {
        call.errors().set(CORVEXLINK_ERR_PORT_NOT_OPEN, "COM port is NOT open");
        return -1;
    }
    corvex::platform::sleepMs(kCloseDrainMs);
    // Closed as the exports see it before the close dispatches events: a PortClose reached
    // from those events finds no port (error 35), a command finds none (error 25), and a
    // PortOpen is refused (error 36) while the device is being released.
    markClosed(line);
    line.closeDevice();
    return 1;
}

}  // namespace

extern "C" int PortOpen(int port, int baudRate) {
    return corvex::exportCall([&](Call &call) { return openPort(call, port, baudRate); });
}
CORVEXLINK_ALIAS(PortOpen)

extern "C" int PortConfigure(void) {
    return corvex::exportCall([](Call &call) { return configurePort(call); });
}
CORVEXLINK_ALIAS(PortConfigure)

extern "C" int PortClose(void) {
    return corvex::exportCall([](Call &call) { return closePort(call); });
}
CORVEXLINK_ALIAS(PortClose)

extern "C" int ZelmarGetPort(void) {
    return corvex::lockedCall(0, [](Line &line) { return line.selection.port; });
}
CORVEXLINK_ALIAS(ZelmarGetPort)

extern "C" int ZelmarGetBaudRate(void) {
    return corvex::lockedCall(0, [](Line &line) { return line.selection.baudRate; });
}
CORVEXLINK_ALIAS(ZelmarGetBaudRate)
