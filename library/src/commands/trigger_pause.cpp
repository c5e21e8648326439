// SPDX-License-Identifier: MIT
// Group trigger and pause: the trigger and pause lines of listed motors, sent as the line
// state of all four boards to the master controllers of the boards concerned.
#include <cstdio>

#include "../operations.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr std::size_t kMotorListLimit = 39;

enum class LineKind : std::uint8_t { Trigger = 0, Pause = 4 };  // first bit of the kind

// Changes the lines of the listed motors (0 = on), then sends the line state.
int changeLines(Call &call, const char *motors, LineKind kind, bool on) {
    const AddressList list = parseAddressList(motors, kMotorListLimit);
    if (list.status == ListStatus::NotANumber) return -1;  // refused without a message
    if (list.status == ListStatus::WrongAddress) {
        call.errors().select(MessageEntry::WrongAddress);
        return -1;
    }

    corvex::link::StationMemory &stations = call.stations();
    unsigned concerned = 0;
    for (int motor = 0; motor < kStationCount; ++motor) {
        if ((list.mask & (1u << motor)) == 0) continue;
        const int board = boardOf(motor);
        const auto bit = static_cast<std::uint8_t>(1u << (static_cast<int>(kind) + motor % 4));
        std::uint8_t &lines = stations.boardLines[static_cast<std::size_t>(board)];
        lines = static_cast<std::uint8_t>(on ? lines & ~bit : lines | bit);
        concerned |= 1u << board;
    }

    // The masters of the boards concerned, as an address list ("0,4," or "12").
    char boards[16] = {};
    std::size_t length = 0;
    constexpr const char *kMasterPieces[kBoardCount] = {"0,", "4,", "8,", "12"};
    for (int board = 0; board < kBoardCount; ++board) {
        if ((concerned & (1u << board)) != 0) {
            length += static_cast<std::size_t>(
                std::snprintf(boards + length, sizeof boards - length, "%s", kMasterPieces[board]));
        }
    }
    const auto target = resolveTarget(call, boards, Groups::Allowed);
    if (!target) return -1;

    const auto &b = stations.boardLines;
    CommandText text{};
    std::snprintf(text.data(), text.size(), "%s%c$%02X%02X%02X%02X", target->prefix, ':', b[3],
                  b[2], b[1], b[0]);
    return exportResult(corvex::link::ItcCommand(call, text.data()));
}

}  // namespace

namespace corvex::ops {

int MotorTriggerON(Call &call, const char *motors) {
    return changeLines(call, motors, LineKind::Trigger, true);
}

int MotorTriggerOFF(Call &call, const char *motors) {
    return changeLines(call, motors, LineKind::Trigger, false);
}

int MotorPauseON(Call &call, const char *motors) {
    return changeLines(call, motors, LineKind::Pause, true);
}

int MotorPauseOFF(Call &call, const char *motors) {
    return changeLines(call, motors, LineKind::Pause, false);
}

}  // namespace corvex::ops
