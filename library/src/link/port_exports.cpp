// SPDX-License-Identifier: MIT
// Exports of the port family: open, close, configure, and the selected port and rate.
#include <cstring>

#include "../export.h"
#include "../platform/clock.h"
#include "../platform/ui.h"
#include "comm_port.h"
#include "transaction.h"

using namespace corvex::link;

extern "C" {
CORVEXLINK_API void *Form2 = nullptr;
}
extern "C" CORVEXLINK_ALIAS_OF("Form2") void *_Form2;

namespace {

// Closes a port that is still open, fills the device settings and opens selectedPort.
// Returns 1, or -1 with error 36.
int openSelectedPort() {
    PortState &st = portState();
    if (st.portOpen) {
        // The exports see the port closed before the close starts dispatching events, so
        // a call reached from those events finds no open port.
        st.portOpen = false;
        CloseCommPort();
    }
    CommPort &port = commPort();
    port.lineRate = static_cast<std::uint32_t>(st.lineBaudRate);
    port.dataBits = 8;
    port.parity = 0;
    port.stopBits = 0;
    port.dsrDtrHandshake = false;
    port.ctsRtsHandshake = false;
    port.xonXoff = false;

    setError(ErrorNumber(), "%s", "");  // each open attempt starts with an empty message
    if (!OpenCommPort(st.selectedPort)) {
        setError(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port");
        return -1;
    }
    st.portOpen = true;
    return 1;
}

// An open reached from the events that a close dispatches: refused before it changes the
// selection, so the close in progress and the caller of an outer open keep theirs.
bool refusedWhileClosing() {
    if (!commPortClosing()) return false;
    setError(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port");
    return true;
}

// The common end of PortOpen and PortConfigure: open selectedPort at selectedBaudRate
// and give the stations `settleMs` before the first command.
int openSelection(unsigned settleMs) {
    PortState &st = portState();
    st.portUsed = true;
    SelectBaudRate(st.selectedBaudRate);
    if (openSelectedPort() != 1) return -1;
    corvex::platform::sleepMs(settleMs);
    return 1;
}

}  // namespace

extern "C" int PortOpen(int port, int baudRate) {
    corvex::ExportGuard guard;
    if (refusedWhileClosing()) return -1;
    setSuppressValue(false);
    portState().selectedBaudRate = baudRate;
    portState().selectedPort = port;
    return openSelection(300);
}
CORVEXLINK_ALIAS(PortOpen)

extern "C" int PortConfigure(void) {
    corvex::ExportGuard guard;
    if (refusedWhileClosing()) return -1;
    setSuppressValue(false);
    corvex::platform::runPortDialog(portState().selectedPort, portState().selectedBaudRate);
    return openSelection(10);
}
CORVEXLINK_ALIAS(PortConfigure)

extern "C" int PortClose(void) {
    corvex::ExportGuard guard;
    PortState &st = portState();
    if (!st.portOpen) {
        setError(CORVEXLINK_ERR_PORT_NOT_OPEN, "COM port is NOT open");
        return -1;
    }
    corvex::platform::sleepMs(300);
    // Closed as the exports see it before the close dispatches events: a PortClose reached
    // from those events finds no port (error 35), a command finds none (error 25), and a
    // PortOpen is refused (error 36) while the device is being released.
    st.portOpen = false;
    CloseCommPort();
    return 1;
}
CORVEXLINK_ALIAS(PortClose)

extern "C" int ZelmarGetPort(void) {
    corvex::ExportGuard guard;
    return portState().selectedPort;
}
CORVEXLINK_ALIAS(ZelmarGetPort)

extern "C" int ZelmarGetBaudRate(void) {
    corvex::ExportGuard guard;
    return portState().selectedBaudRate;
}
CORVEXLINK_ALIAS(ZelmarGetBaudRate)
