// SPDX-License-Identifier: MIT
// Discovery and initialisation: which addresses answer, and bringing every found station
// and its board to a known state.
#include <cstdio>
#include <cstring>

#include "../operations.h"
#include "command.h"

using namespace corvex::commands;

namespace {

// Output and configuration words of the board set-up.
constexpr std::int32_t kMasterSpiConfig = 128;
constexpr std::int32_t kMasterIoWord = 0x16FF;  // user I/O configuration and outputs
constexpr std::int32_t kUserIoConfig = corvex::link::kUserConfigMark;
constexpr std::int32_t kUserIoOutputs = corvex::link::kUserOutputMark;
constexpr std::int32_t kUserIoSpiConfig = 0xC6;

// Defaults every found station gets.
constexpr std::int32_t kDefaultSlewRate = 600;
constexpr std::int32_t kDefaultFirstRate = 100;
constexpr std::int32_t kDefaultAccel = 50;
constexpr std::int32_t kHalfStepMode = 33;
constexpr std::int32_t kStationResetRate = 9600;  // the rate a station listens at after a reset

bool stationFound(Call &call, int address) { return call.stations().table[address] != 'N'; }

// A transaction of the set-up counts only when the station answered without any error.
bool sendStrict(Call &call, int address, char letter, std::int32_t value) {
    return sendTo(call, stationTarget(address), Command{letter, Arg::Signed}, value) ==
           corvex::link::kTransactionOk;
}

// Sets up the board's master controller (SPI and user I/O configuration, outputs) and
// its user-I/O controller once per initialisation. -1 only when the master's SPI
// configuration fails; a failure after it leaves that controller's flag clear, so the
// next station of the board tries again.
int SetUpBoard(Call &call, int board) {
    corvex::link::StationMemory &stations = call.stations();
    const auto b = static_cast<std::size_t>(board);
    if (stations.masterSetUp[b] && stations.userIoSetUp[b]) return 1;

    const int master = masterOf(board);
    if (corvex::ops::ConfigureSPI(call, DecimalText(master).text, kMasterSpiConfig) == -1)
        return -1;
    if (sendStrict(call, master, 'C', kMasterIoWord) &&
        sendStrict(call, master, 'W', kMasterIoWord)) {
        stations.masterSetUp[b] = true;
    }
    const int userIo = userIoControllerOf(board);
    if (sendStrict(call, userIo, 'C', kUserIoConfig) &&
        sendStrict(call, userIo, 'W', kUserIoOutputs) &&
        sendStrict(call, userIo, 'O', kUserIoSpiConfig)) {
        stations.userIoSetUp[b] = true;
    }
    return 1;
}

struct InitStep {
    const char *failure;  // followed by the station's decimal address
    int (*run)(Call &call, int address, const char *text);
};

constexpr InitStep kInitSteps[] = {
    {"Can Not ConfigureSPI, Ctrlr. Address: ",
     [](Call &call, int address, const char *) { return SetUpBoard(call, boardOf(address)); }},
    {"Can Not Set Default Motor Current, Ctrlr. Address: ",
     [](Call &call, int address, const char *text) {
         return corvex::ops::MotorSetCurrent(
             call, text, call.stations().windingCurrent[static_cast<std::size_t>(address)]);
     }},
    {"Can Not Set Motor Direction, Ctrlr. Address: ",
     [](Call &call, int, const char *text) { return corvex::ops::MotorDirection(call, text, 1); }},
    {"Can Not Set Default Motor Speed, Ctrlr. Address: ",
     [](Call &call, int, const char *text) {
         return corvex::ops::MotorSpeed(call, text, kDefaultSlewRate, kDefaultFirstRate,
                                        kDefaultAccel);
     }},
    {"Can Not Set Default Motor Step Mode, Ctrlr. Address: ",
     [](Call &call, int, const char *text) {
         return corvex::ops::MotorConfigureMode(call, text, kHalfStepMode);
     }},
};

int failSetUp(Call &call, const char *message, int address) {
    call.errors().set(CORVEXLINK_ERR_INIT_FAILED, "%s%d", message, address);
    return -1;
}

// Probes every address once; the table and the list record which answered.
int scan(Call &call, char *buffer) {
    if (buffer == nullptr) {
        call.errors().select(MessageEntry::WrongAddress);
        return -1;
    }
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    std::size_t length = 0;
    // The table changes only once every address has been probed: a line that is found lost
    // or closed in the middle ends the scan with its error and leaves the last scan's table.
    char table[kStationCount + 1] = {};
    for (int address = 0; address < kStationCount; ++address) {
        const Target probe = stationTarget(address);
        const bool answered = corvex::link::WriteSP(call, probe.prefix) == 1;
        const std::int32_t why = call.errors().number();
        if (!answered && (why == CORVEXLINK_ERR_LINE_LOST || why == CORVEXLINK_ERR_LINE_CLOSED))
            return -1;
        table[address] = answered ? "0123456789ABCDEF"[address] : 'N';
        const int written = answered
                                ? std::snprintf(list + length, sizeof list - length, "%d", address)
                                : std::snprintf(list + length, sizeof list - length, "N");
        length += static_cast<std::size_t>(written);
        if (address < kHighestAddress) list[length++] = ',';
    }
    std::memcpy(call.stations().table, table, sizeof table);
    std::uint32_t found = 0;
    for (int address = 0; address < kStationCount; ++address)
        if (table[address] != 'N') found |= 1u << address;
    call.stations().found.store(found, std::memory_order_release);
    std::memcpy(buffer, list, length + 1);
    return 1;
}

int checkAddress(Call &call, const char *address) {
    const auto target = resolveTarget(call, address, Groups::Refused);
    if (!target) return -1;
    return corvex::link::WriteSP(call, target->prefix) == 1 ? 1 : -1;
}

int initialiseStations(Call &call) {
    corvex::link::StationMemory &stations = call.stations();
    stations.masterSetUp.fill(false);
    stations.userIoSetUp.fill(false);
    const int hostRate = call.line.selection.baudRate;

    // A reset station listens at 9600 baud. On a line whose rate the host cannot change (a
    // raw TCP stream) running at another rate, the reset stations could never be reached
    // again: refuse before anything is reset.
    const corvex::platform::SerialDevice *device = call.line.port.device();
    if (device != nullptr && !device->canChangeLineRate() &&
        call.line.selection.lineBaudRate != kStationResetRate) {
        call.errors().set(CORVEXLINK_ERR_INIT_FAILED,
                          "Can Not Initialize the stations on %s: they restart at 9600 baud, and "
                          "a raw TCP line keeps the rate its server is set to (%d); set the "
                          "server to 9600 baud or use rfc2217://",
                          device->path().c_str(),
                          static_cast<int>(call.line.selection.lineBaudRate));
        return -1;
    }

    for (int address = 0; address < kStationCount; ++address) {
        if (stationFound(call, address) &&
            corvex::ops::MotorSoftReset(call, DecimalText(address).text) == -1) {
            return failSetUp(call, "Can Not Reset Motor Address: ", address);
        }
    }

    // The reset stations listen at 9600 baud: take the line there, then move them all to the
    // host's rate.
    corvex::ops::ZelmarChangeBaudRate(call, kStationResetRate);
    if (hostRate != kStationResetRate && corvex::ops::ZelmarChangeBaudRate(call, hostRate) == -1)
        return -1;

    for (int address = 0; address < kStationCount; ++address) {
        if (!stationFound(call, address)) continue;
        const DecimalText text(address);
        for (const InitStep &step : kInitSteps) {
            if (step.run(call, address, text.text) == -1)
                return failSetUp(call, step.failure, address);
        }
    }
    return 1;
}

}  // namespace

namespace corvex::ops {

int GetConnectedControllers(Call &call, char *buffer) { return scan(call, buffer); }

int CheckControllerAddress(Call &call, const char *address) { return checkAddress(call, address); }

int MotorStationsInit(Call &call) { return initialiseStations(call); }

}  // namespace corvex::ops
