// SPDX-License-Identifier: MIT
// MotorSetCurrent: a motor's winding current, set through its board's SPI bus.
#include "../operations.h"
#include "command.h"
#include "conversions.h"

using namespace corvex::commands;

namespace {

constexpr Command kUserOutputWrite{'W', Arg::Signed};

int setCurrent(Call &call, const char *address, int milliamps) {
    if (milliamps < kMinCurrentMilliamps || milliamps > kMaxCurrentMilliamps) {
        call.errors().select(MessageEntry::Current);
        return -1;
    }
    const auto target = resolveTarget(call, address, Groups::Refused);
    if (!target) return -1;
    corvex::link::StationMemory &stations = call.stations();
    // Remembered at once, so the next initialisation sets it again even if this fails.
    stations.windingCurrent[static_cast<std::size_t>(target->address)] = milliamps;

    // The current DAC of the board takes the code in bits 0-7 and the motor's place on the
    // board in bits 9-10, written over the SPI bus of the user-I/O controller.
    const int board = boardOf(target->address);
    const int controller = userIoControllerOf(board);
    const std::int32_t spiValue = windingCurrentCode(milliamps) + (target->address % 4) * 512;
    if (corvex::ops::WriteSPI(call, DecimalText(controller).text, spiValue) == -1) return -1;

    // Strobe the outputs low, then restore the board's user output word.
    const Target userIo = stationTarget(controller);
    const int cleared = sendTo(call, userIo, kUserOutputWrite, 0);
    const int restored = sendTo(call, userIo, kUserOutputWrite,
                                stations.userOutputWord[static_cast<std::size_t>(board)] |
                                    corvex::link::kUserOutputMark);
    return cleared == 0 || restored == 0 ? -1 : 1;
}

}  // namespace

namespace corvex::ops {

int MotorSetCurrent(Call &call, const char *address, int milliamps) {
    return setCurrent(call, address, milliamps);
}

}  // namespace corvex::ops
