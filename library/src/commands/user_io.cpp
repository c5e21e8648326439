// SPDX-License-Identifier: MIT
// Digital user I/O on the three non-master controllers of a board.
#include "user_io.h"

#include "../export.h"
#include "../link/transaction.h"
#include "command.h"
#include "command_state.h"

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

int runUserIo(const char *addresses, UserIoAction action, std::int32_t value) {
    if (!applyUserIoRules(addresses, action, value)) return -1;
    const auto target = resolveTarget(addresses, Groups::Allowed);
    if (!target) return -1;
    const char letter = action == UserIoAction::Configure ? 'C' : 'W';
    return exportResult(sendTo(*target, Command{letter, Arg::Signed, Groups::Allowed}, value));
}

}  // namespace

namespace corvex::commands {

bool applyUserIoRules(const char *addresses, UserIoAction action, std::int32_t &value) {
    const AddressList list = parseAddressList(addresses, kUserIoListLimit);
    if (list.status == ListStatus::NotANumber) return false;
    if (list.status == ListStatus::WrongAddress) {
        link::SetErrorMessage(kEntryWrongAddress);
        return false;
    }
    CommandState &state = commandState();
    for (int address = 0; address < kStationCount; ++address) {
        if ((list.mask & (1u << address)) == 0) continue;
        const int board = boardOf(address);
        if (isMaster(address)) {
            const char *const *messages =
                action == UserIoAction::Configure ? kConfigureRefused : kWriteRefused;
            link::setError(CORVEXLINK_ERR_USER_IO_REFUSED, "%s", messages[board]);
            return false;
        }
        if (isUserIoController(address)) {
            value |= action == UserIoAction::Configure ? kUserConfigMark : kUserOutputMark;
            if (action == UserIoAction::Write)
                state.userOutputWord[static_cast<std::size_t>(board)] = value;
        }
    }
    return true;
}

}  // namespace corvex::commands

int ReadDigitalUserIO(const char *address, int32_t *inputs) {
    corvex::ExportGuard guard;
    return guarded([&] { return runQuery(address, kReadInputs, inputs); });
}
CORVEXLINK_ALIAS(ReadDigitalUserIO)

int ConfigureDigitalUserIO(const char *addresses, int config) {
    corvex::ExportGuard guard;
    return guarded([&] { return runUserIo(addresses, UserIoAction::Configure, config); });
}
CORVEXLINK_ALIAS(ConfigureDigitalUserIO)

int WriteDigitalUserIO(const char *addresses, int value) {
    corvex::ExportGuard guard;
    return guarded([&] { return runUserIo(addresses, UserIoAction::Write, value); });
}
CORVEXLINK_ALIAS(WriteDigitalUserIO)
