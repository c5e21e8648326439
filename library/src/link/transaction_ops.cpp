// SPDX-License-Identifier: MIT
// Operations of the transaction family: raw commands, the error state and the baud-rate
// change.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "../operations.h"
#include "../platform/clock.h"
#include "line_rates.h"
#include "transaction.h"

namespace corvex::link {

namespace {

constexpr unsigned kRateSettleMs = 100;  // after the rate change, before the first probe

int rawCommand(Call &call, const char *command) {
    switch (ItcCommand(call, command)) {
    case kTransactionFailed: return -1;
    case kTransactionFifoFull: return 2;
    default: return 1;
    }
}

// Copies a text with its NUL into a caller's buffer of at least `size` bytes.
int copyOut(char *buffer, std::size_t size, const char *text) {
    if (buffer == nullptr) return -1;
    std::snprintf(buffer, size, "%s", text);
    return 1;
}

int changeBaudRate(Call &call, int baudRate) {
    Line &line = call.line;
    if (!line.selection.used) {
        call.errors().set(CORVEXLINK_ERR_NO_PORT,
                          "Commands cannot be sent before a COM port is open");
        return -1;
    }
    call.errors().clear();
    // A line whose far end keeps its own rate (a raw TCP stream) is refused before the
    // stations are told: they would switch and be left where the host cannot reach them. A
    // "change" to the rate the line runs at moves nothing and goes ahead.
    const corvex::platform::SerialDevice *device = line.port.device();
    const bool sameRate =
        baudRate == line.selection.lineBaudRate &&
        std::any_of(std::begin(kLineRates), std::end(kLineRates),
                    [&](const LineRate &r) { return r.rate == baudRate && r.stationCode >= 0; });
    if (device != nullptr && !device->canChangeLineRate() && !sameRate) {
        call.errors().set(CORVEXLINK_ERR_BAUD_RATE_CHANGE,
                          "Can Not Change the Baud Rate on %s: a raw TCP line keeps the rate its "
                          "server is set to (rfc2217:// can change it)",
                          device->path().c_str());
        return -1;
    }
    {
        // The stations switch as soon as they have the frame, without an answer, and the host
        // follows at once: one step, so that no stop goes out between at a rate the stations
        // no longer hear. Every rate the stations cannot take is sent as 9600 (code 0).
        const LineGate::Step step(line.gate);
        if (!lineUsable(call, "ZelmarChangeBaudRate", nullptr)) return -1;
        char frame[16];
        std::snprintf(frame, sizeof frame, "^%d\r", stationRateCode(baudRate));
        line.port.write(frame, std::strlen(frame));
        line.port.write("\r", 1);
        line.port.write("\r", 1);
        const std::int32_t rate = lineRateFor(baudRate);
        const std::int32_t lineRate = rate != 0 ? rate : line.selection.lineBaudRate;
        // The line's rate (and the rate reported) changes only once the device has taken
        // it: a network server that never acknowledges the change leaves both as they were.
        const bool change = static_cast<std::uint32_t>(lineRate) != line.port.lineRate();
        if (line.selection.open && change &&
            !line.port.setLineRate(static_cast<std::uint32_t>(lineRate))) {
            const platform::SerialDevice *device = line.port.device();
            call.errors().set(CORVEXLINK_ERR_BAUD_RATE_CHANGE,
                              "Can Not Change the Baud Rate on %s: the line did not take %d baud "
                              "(a network server that did not acknowledge the change) and stays "
                              "at %d; the stations may have switched",
                              device != nullptr ? device->path().c_str() : "the line",
                              static_cast<int>(lineRate),
                              static_cast<int>(line.selection.lineBaudRate));
            return -1;
        }
        line.selection.baudRate = baudRate;
        line.selection.lineBaudRate = lineRate;
    }
    platform::sleepMs(kRateSettleMs);

    // Every station of the table must answer at the new rate.
    const char *table = line.stations.table;
    for (int address = 0; address < kStationCount; ++address) {
        if (table[address] == 'N') continue;
        const char probe[3] = {'_', table[address], '\0'};
        if (ItcCommand(call, probe) == kTransactionFailed) {
            call.errors().set(CORVEXLINK_ERR_BAUD_RATE_CHANGE,
                              "Can Not Change the Baud Rate to the Address : %c", table[address]);
            return -1;
        }
    }
    return 1;
}

}  // namespace
}  // namespace corvex::link

namespace corvex::ops {

using link::CallerState;

int WriteCommandtoKX4417(Call &call, const char *command) {
    return link::rawCommand(call, command);
}

int ZelmarGetValue(const CallerState &state) { return state.lastValue; }

int ZelmarGetNumberError(const CallerState &state) { return state.errors.number(); }

const char *ZelmarGetErrorMessage(const CallerState &state) { return state.errors.message(); }

int ZelmarGetErrorMessageVb(const CallerState &state, char *buffer) {
    return link::copyOut(buffer, link::kErrorMessageSize, state.errors.message());
}

int GetLastestCommand(const CallerState &state, char *buffer) {
    return link::copyOut(buffer, link::kLatestCommandSize, state.latestCommand);
}

int ZelmarChangeBaudRate(Call &call, int baudRate) { return link::changeBaudRate(call, baudRate); }

}  // namespace corvex::ops
