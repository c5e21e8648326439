// SPDX-License-Identifier: MIT
// MotorSetCurrent: a motor's winding current, set through its board's SPI bus.
#include "../export.h"
#include "../link/transaction.h"
#include "command.h"
#include "command_state.h"
#include "conversions.h"

using namespace corvex::commands;

namespace {

constexpr Command kUserOutputWrite{'W', Arg::Signed};

}  // namespace

int MotorSetCurrent(const char *address, int milliamps) {
    corvex::ExportGuard guard;
    return guarded([&] {
        if (milliamps < kMinCurrentMilliamps || milliamps > kMaxCurrentMilliamps) {
            corvex::link::SetErrorMessage(kEntryCurrent);
            return -1;
        }
        const auto target = resolveTarget(address, Groups::Refused);
        if (!target) return -1;
        CommandState &state = commandState();
        // Remembered at once, so the next initialisation sets it again even if this fails.
        state.windingCurrent[static_cast<std::size_t>(target->address)] = milliamps;

        // The current DAC of the board takes the code in bits 0-7 and the motor's place on
        // the board in bits 9-10, written over the SPI bus of the user-I/O controller.
        const int board = boardOf(target->address);
        const int controller = userIoControllerOf(board);
        const std::int32_t spiValue = windingCurrentCode(milliamps) + (target->address % 4) * 512;
        if (WriteSPI(DecimalText(controller).text, spiValue) == -1) return -1;

        // Strobe the outputs low, then restore the board's user output word.
        const Target userIo = stationTarget(controller);
        const int cleared = sendTo(userIo, kUserOutputWrite, 0);
        const int restored =
            sendTo(userIo, kUserOutputWrite,
                   state.userOutputWord[static_cast<std::size_t>(board)] | kUserOutputMark);
        return cleared == 0 || restored == 0 ? -1 : 1;
    });
}
CORVEXLINK_ALIAS(MotorSetCurrent)
