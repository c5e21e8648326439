// SPDX-License-Identifier: MIT
// What the command set remembers about the stations, which cannot be asked of them: the
// direction last set, the winding currents, the user output word and the trigger/pause
// line byte of each board, and which boards the last initialisation has set up. The
// station table of answering addresses belongs to the transaction layer
// (link::stationTable()).
#pragma once

#include <array>
#include <cstdint>

#include "address.h"

namespace corvex::commands {

inline constexpr std::int32_t kDefaultCurrentMilliamps = 50;
inline constexpr std::int32_t kUserOutputMark = 0x1000;  // user-I/O controller output word bit
inline constexpr std::int32_t kUserConfigMark = 0x1600;  // user-I/O controller configuration
inline constexpr std::uint8_t kAllLinesOff = 0xFF;

struct CommandState {
    std::array<char, kStationCount> direction;               // '+' or '-' per address
    std::array<std::int32_t, kStationCount> windingCurrent;  // mA per address
    std::array<std::int32_t, kBoardCount>
        userOutputWord;  // last word sent to the board's user-I/O controller
    // Bits 0-3: trigger line of motor 4*board+bit, bits 4-7: its pause line; 0 = on.
    std::array<std::uint8_t, kBoardCount> boardLines;
    std::array<bool, kBoardCount> masterSetUp;  // set by the board set-up
    std::array<bool, kBoardCount> userIoSetUp;
};

// The one instance, at its load-time values on first use.
CommandState &commandState();

// Restores the load-time values (tests only).
void resetCommandStateForTest();

// Board arithmetic: four stations per board; the master controller is the board's first
// station, the user-I/O controller its second.
constexpr int boardOf(int address) { return address / 4; }
constexpr int masterOf(int board) { return 4 * board; }
constexpr int userIoControllerOf(int board) { return 4 * board + 1; }
constexpr bool isMaster(int address) { return address % 4 == 0; }
constexpr bool isUserIoController(int address) { return address % 4 == 1; }

}  // namespace corvex::commands
