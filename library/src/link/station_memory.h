// SPDX-License-Identifier: MIT
// What the host remembers about the stations on its line: which addresses answered the last
// scan, and what cannot be asked of the stations themselves (the direction last set, the
// winding currents, the user output word and the trigger/pause line byte of each board,
// which boards the last initialisation has set up).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "CorvexLink.h"

namespace corvex::link {

inline constexpr int kStationCount = CORVEXLINK_ADDRESS_MAX + 1;  // addresses 0 to 15
inline constexpr int kBoardCount = 4;                             // four stations a board

inline constexpr std::int32_t kDefaultCurrentMilliamps = 50;
inline constexpr std::int32_t kUserOutputMark = 0x1000;  // user-I/O controller output word bit
inline constexpr std::int32_t kUserConfigMark = 0x1600;  // user-I/O controller configuration
inline constexpr std::uint8_t kAllLinesOff = 0xFF;

struct StationMemory {
    // The station table: 'N' or the address as one hexadecimal digit, per address.
    char table[kStationCount + 1] = "NNNNNNNNNNNNNNNN";
    // The addresses the last scan found, one bit each: readable by any thread at any time
    // (a stop of every known station must not wait for a scan under way).
    std::atomic<std::uint32_t> found{0};
    std::array<char, kStationCount> direction;               // '+' or '-' per address
    std::array<std::int32_t, kStationCount> windingCurrent;  // mA per address
    // The last word sent to each board's user-I/O controller.
    std::array<std::int32_t, kBoardCount> userOutputWord;
    // Bits 0-3: trigger line of motor 4*board+bit, bits 4-7: its pause line; 0 = on.
    std::array<std::uint8_t, kBoardCount> boardLines;
    std::array<bool, kBoardCount> masterSetUp;  // set by the board set-up
    std::array<bool, kBoardCount> userIoSetUp;

    StationMemory() {
        direction.fill('+');
        windingCurrent.fill(kDefaultCurrentMilliamps);
        userOutputWord.fill(kUserOutputMark);
        boardLines.fill(kAllLinesOff);
        masterSetUp.fill(false);
        userIoSetUp.fill(false);
    }
};

}  // namespace corvex::link
