// SPDX-License-Identifier: MIT
// Discovery and initialisation: which addresses answer, and bringing every found station
// and its board to a known state.
#include <cstdio>
#include <cstring>

#include "../export.h"
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
    if (ConfigureSPI(DecimalText(master).text, kMasterSpiConfig) == -1) return -1;
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
         return MotorSetCurrent(text,
                                call.stations().windingCurrent[static_cast<std::size_t>(address)]);
     }},
    {"Can Not Set Motor Direction, Ctrlr. Address: ",
     [](Call &, int, const char *text) { return MotorDirection(text, 1); }},
    {"Can Not Set Default Motor Speed, Ctrlr. Address: ",
     [](Call &, int, const char *text) {
         return MotorSpeed(text, kDefaultSlewRate, kDefaultFirstRate, kDefaultAccel);
     }},
    {"Can Not Set Default Motor Step Mode, Ctrlr. Address: ",
     [](Call &, int, const char *text) { return MotorConfigureMode(text, kHalfStepMode); }},
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
    char *table = call.stations().table;
    for (int address = 0; address < kStationCount; ++address) {
        const Target probe = stationTarget(address);
        const bool answered = corvex::link::WriteSP(call, probe.prefix) == 1;
        table[address] = answered ? "0123456789ABCDEF"[address] : 'N';
        const int written = answered
                                ? std::snprintf(list + length, sizeof list - length, "%d", address)
                                : std::snprintf(list + length, sizeof list - length, "N");
        length += static_cast<std::size_t>(written);
        if (address < kHighestAddress) list[length++] = ',';
    }
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
    const int hostRate = ZelmarGetBaudRate();

    for (int address = 0; address < kStationCount; ++address) {
        if (stationFound(call, address) && MotorSoftReset(DecimalText(address).text) == -1) {
            return failSetUp(call, "Can Not Reset Motor Address: ", address);
        }
    }

    // The reset stations listen at 9600 baud: take the line there, then move them all to the
    // host's rate.
    ZelmarChangeBaudRate(9600);
    if (hostRate != 9600 && ZelmarChangeBaudRate(hostRate) == -1) return -1;

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

int GetConnectedControllers(char *buffer) {
    return corvex::exportCall([&](Call &call) { return scan(call, buffer); });
}
CORVEXLINK_ALIAS(GetConnectedControllers)

int CheckControllerAddress(const char *address) {
    return corvex::exportCall([&](Call &call) { return checkAddress(call, address); });
}
CORVEXLINK_ALIAS(CheckControllerAddress)

int MotorStationsInit(void) {
    return corvex::exportCall([](Call &call) { return initialiseStations(call); });
}
CORVEXLINK_ALIAS(MotorStationsInit)
