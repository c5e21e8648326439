// SPDX-License-Identifier: MIT
// Exports of the transaction family: raw commands, the error state and the baud-rate change.
#include <cstdio>
#include <cstring>

#include "../export.h"
#include "../platform/clock.h"
#include "comm_port.h"
#include "line_rates.h"
#include "transaction.h"

using namespace corvex::link;

extern "C" int WriteCommandtoKX4417(const char *command) {
    corvex::ExportGuard guard;
    switch (ItcCommand(command)) {
    case kTransactionFailed: return -1;
    case kTransactionFifoFull: return 2;
    default: return 1;
    }
}
CORVEXLINK_ALIAS(WriteCommandtoKX4417)

extern "C" int ZelmarGetValue(void) {
    corvex::ExportGuard guard;
    return LastValue();
}
CORVEXLINK_ALIAS(ZelmarGetValue)

extern "C" int ZelmarGetNumberError(void) {
    corvex::ExportGuard guard;
    return ErrorNumber();
}
CORVEXLINK_ALIAS(ZelmarGetNumberError)

extern "C" const char *ZelmarGetErrorMessage(void) {
    corvex::ExportGuard guard;
    return ErrorMessage();
}
CORVEXLINK_ALIAS(ZelmarGetErrorMessage)

namespace {

// Copies a library text with its NUL into a caller's buffer of at least `size` bytes.
int copyOut(char *buffer, std::size_t size, const char *text) {
    if (buffer == nullptr) return -1;
    std::snprintf(buffer, size, "%s", text);
    return 1;
}

}  // namespace

extern "C" int ZelmarGetErrorMessageVb(char *buffer) {
    corvex::ExportGuard guard;
    return copyOut(buffer, kErrorMessageSize, ErrorMessage());
}
CORVEXLINK_ALIAS(ZelmarGetErrorMessageVb)

extern "C" int GetLastestCommand(char *buffer) {
    corvex::ExportGuard guard;
    return copyOut(buffer, kLatestCommandSize, LatestCommand());
}
CORVEXLINK_ALIAS(GetLastestCommand)

extern "C" int ZelmarChangeBaudRate(int baudRate) {
    corvex::ExportGuard guard;
    PortState &st = portState();
    if (!st.portUsed) {
        setError(CORVEXLINK_ERR_NO_PORT, "Commands cannot be sent before a COM port is open");
        return -1;
    }
    clearError();

    const int code = stationRateCode(baudRate);  // 9600 and every other rate: 0
    // Tell the stations at the current rate; they switch at once and do not answer.
    char frame[16];
    std::snprintf(frame, sizeof frame, "^%d\r", code);
    WriteComm(frame, std::strlen(frame));
    WriteComm("\r", 1);
    WriteComm("\r", 1);

    st.selectedBaudRate = baudRate;
    SelectBaudRate(baudRate);
    ApplyBaudRate();
    corvex::platform::sleepMs(100);

    // Every station of the table must answer at the new rate.
    const char *table = stationTable();
    for (int address = 0; address < 16; ++address) {
        if (table[address] == 'N') continue;
        const char probe[3] = {'_', table[address], '\0'};
        if (ItcCommand(probe) == kTransactionFailed) {
            setError(CORVEXLINK_ERR_BAUD_RATE_CHANGE,
                     "Can Not Change the Baud Rate to the Address : %c", table[address]);
            return -1;
        }
    }
    return 1;
}
CORVEXLINK_ALIAS(ZelmarChangeBaudRate)
