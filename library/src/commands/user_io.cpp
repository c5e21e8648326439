// SPDX-License-Identifier: MIT
// Digital user I/O on the three non-master controllers of a board.
#include "user_io.h"

#include "../operations.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr std::size_t kUserIoListLimit = 51;

// Messages for a master controller in the list, by board.
constexpr const char *kConfigureRefused[kBoardCount] = {
    "Configure USERIO to the Controller Address :0 is not allowed",
    "Configure USERIO to the Controller Address: 4 is not allowed",
    "Configure USERIO to the Controller Address: 8 is not allowed",
    "Configure USERIO to the Controller Address: 12 is not allowed",
};
constexpr const char *kWriteRefused[kBoardCount] = {
    "Write USERIO to the Controller Address: 0 is not allowed",
    "Write USERIO to the Controller Address: 4 is not allowed",
    "Write USERIO to the Controller Address: 8 is not allowed",
    "Write USERIO to the Controller Address: 12 is not allowed",
};

constexpr Query kReadInputs{Command{'B'}, false};

int runUserIo(Call &call, const char *addresses, UserIoAction action, std::int32_t value) {
    if (!applyUserIoRules(call, addresses, action, value)) return -1;
    const auto target = resolveTarget(call, addresses, Groups::Allowed);
    if (!target) return -1;
    const char letter = action == UserIoAction::Configure ? 'C' : 'W';
    return exportResult(
        sendTo(call, *target, Command{letter, Arg::Signed, Groups::Allowed}, value));
}

}  // namespace

namespace corvex::commands {

bool applyUserIoRules(link::Call &call, const char *addresses, UserIoAction action,
                      std::int32_t &value) {
    const AddressList list = parseAddressList(addresses, kUserIoListLimit);
    if (list.status == ListStatus::NotANumber) return false;
    if (list.status == ListStatus::WrongAddress) {
        call.errors().select(MessageEntry::WrongAddress);
        return false;
    }
    link::StationMemory &stations = call.stations();
    for (int address = 0; address < kStationCount; ++address) {
        if ((list.mask & (1u << address)) == 0) continue;
        const int board = boardOf(address);
        if (isMaster(address)) {
            const char *const *messages =
                action == UserIoAction::Configure ? kConfigureRefused : kWriteRefused;
            call.errors().set(CORVEXLINK_ERR_USER_IO_REFUSED, "%s", messages[board]);
            return false;
        }
        if (isUserIoController(address)) {
            value |=
                action == UserIoAction::Configure ? link::kUserConfigMark : link::kUserOutputMark;
            if (action == UserIoAction::Write)
                stations.userOutputWord[static_cast<std::size_t>(board)] = value;
        }
    }
    return true;
}

}  // namespace corvex::commands

namespace corvex::ops {

int ReadDigitalUserIO(Call &call, const char *address, int32_t *inputs) {
    return runQuery(call, address, kReadInputs, inputs);
}

int ConfigureDigitalUserIO(Call &call, const char *addresses, int config) {
    return runUserIo(call, addresses, UserIoAction::Configure, config);
}

int WriteDigitalUserIO(Call &call, const char *addresses, int value) {
    return runUserIo(call, addresses, UserIoAction::Write, value);
}

}  // namespace corvex::ops
