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

// Closes a port that is still open, fills the device settings and opens SelectedPort.
// Returns 1, or -1 with error 36.
int openSelectedPort() {
    PortState &st = portState();
    if (st.PortHandle) {
        // The exports see the port closed before the close starts dispatching events, so
        // a call reached from those events finds no open port.
        st.PortHandle = false;
        CloseCommPort();
    }
    CommPort &port = commPort();
    port.lineRate = static_cast<std::uint32_t>(st.LineBaudRate);
    port.dataBits = 8;
    port.parity = 0;
    port.stopBits = 0;
    port.dsrDtrHandshake = false;
    port.ctsRtsHandshake = false;
    port.xonXoff = false;
    port.requestedRate = st.SelectedBaudRate;
    port.answerCapacity = kAnswerCapacity;

    SetError(ErrorNumber(), "%s", "");  // each open attempt starts with an empty message
    if (!OpenCommPort(st.SelectedPort)) {
        SetError(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port");
        return -1;
    }
    st.PortHandle = true;
    return 1;
}

// An open reached from the events that a close dispatches: refused before it changes the
// selection, so the close in progress and the caller of an outer open keep theirs.
bool refusedWhileClosing() {
    if (!CommPortClosing()) return false;
    SetError(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port");
    return true;
}

// The common end of PortOpen and PortConfigure: open SelectedPort at SelectedBaudRate
// and give the stations `settleMs` before the first command.
int openSelection(unsigned settleMs) {
    PortState &st = portState();
    st.PortUsed = true;
    SelectBaudRate(st.SelectedBaudRate);
    if (openSelectedPort() != 1) return -1;
    corvex::platform::sleepMs(settleMs);
    return 1;
}

}  // namespace

extern "C" int PortOpen(int port, int baudRate) {
    corvex::ExportGuard guard;
    if (refusedWhileClosing()) return -1;
    SetSuppressValue(false);
    portState().SelectedBaudRate = baudRate;
    portState().SelectedPort = port;
    return openSelection(300);
}
CORVEXLINK_ALIAS(PortOpen)

extern "C" int PortConfigure(void) {
    corvex::ExportGuard guard;
    if (refusedWhileClosing()) return -1;
    SetSuppressValue(false);
    corvex::platform::runPortDialog(portState().SelectedPort, portState().SelectedBaudRate);
    return openSelection(10);
}
CORVEXLINK_ALIAS(PortConfigure)

extern "C" int PortClose(void) {
    corvex::ExportGuard guard;
    PortState &st = portState();
    if (!st.PortHandle) {
        SetError(CORVEXLINK_ERR_PORT_NOT_OPEN, "COM port is NOT open");
        return -1;
    }
    corvex::platform::sleepMs(300);
    // Closed as the exports see it before the close dispatches events: a PortClose reached
    // from those events finds no port (error 35), a command finds none (error 25), and a
    // PortOpen is refused (error 36) while the device is being released.
    st.PortHandle = false;
    CloseCommPort();
    return 1;
}
CORVEXLINK_ALIAS(PortClose)

extern "C" int ZelmarGetPort(void) {
    corvex::ExportGuard guard;
    return portState().SelectedPort;
}
CORVEXLINK_ALIAS(ZelmarGetPort)

extern "C" int ZelmarGetBaudRate(void) {
    corvex::ExportGuard guard;
    return portState().SelectedBaudRate;
}
CORVEXLINK_ALIAS(ZelmarGetBaudRate)
