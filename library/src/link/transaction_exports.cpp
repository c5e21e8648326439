// SPDX-License-Identifier: MIT
// Exports of the transaction family: raw commands, the error state and the baud-rate change.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "../export.h"
#include "../platform/clock.h"
#include "line_rates.h"
#include "transaction.h"

using namespace corvex::link;

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
        char frame[16];
        std::snprintf(frame, sizeof frame, "^%d\r", stationRateCode(baudRate));
        line.port.write(frame, std::strlen(frame));
        line.port.write("\r", 1);
        line.port.write("\r", 1);
        line.selection.baudRate = baudRate;
        const std::int32_t rate = lineRateFor(baudRate);
        if (rate != 0) line.selection.lineBaudRate = rate;  // an unlisted rate keeps the line's
        if (line.selection.open)
            line.port.setLineRate(static_cast<std::uint32_t>(line.selection.lineBaudRate));
    }
    corvex::platform::sleepMs(kRateSettleMs);

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

extern "C" int WriteCommandtoKX4417(const char *command) {
    return corvex::exportCall([&](Call &call) { return rawCommand(call, command); });
}
CORVEXLINK_ALIAS(WriteCommandtoKX4417)

extern "C" int ZelmarGetValue(void) {
    return corvex::readCallerState(0, [](const CallerState &c) { return c.lastValue; });
}
CORVEXLINK_ALIAS(ZelmarGetValue)

extern "C" int ZelmarGetNumberError(void) {
    return corvex::readCallerState(CORVEXLINK_ERR_NONE,
                                   [](const CallerState &c) { return c.errors.number(); });
}
CORVEXLINK_ALIAS(ZelmarGetNumberError)

extern "C" const char *ZelmarGetErrorMessage(void) {
    return corvex::readCallerState<const char *>(
        "", [](const CallerState &c) { return c.errors.message(); });
}
CORVEXLINK_ALIAS(ZelmarGetErrorMessage)

extern "C" int ZelmarGetErrorMessageVb(char *buffer) {
    return corvex::readCallerState(-1, [&](const CallerState &c) {
        return copyOut(buffer, kErrorMessageSize, c.errors.message());
    });
}
CORVEXLINK_ALIAS(ZelmarGetErrorMessageVb)

extern "C" int GetLastestCommand(char *buffer) {
    return corvex::readCallerState(-1, [&](const CallerState &c) {
        return copyOut(buffer, kLatestCommandSize, c.latestCommand);
    });
}
CORVEXLINK_ALIAS(GetLastestCommand)

extern "C" int ZelmarChangeBaudRate(int baudRate) {
    return corvex::exportCall([&](Call &call) { return changeBaudRate(call, baudRate); });
}
CORVEXLINK_ALIAS(ZelmarChangeBaudRate)
