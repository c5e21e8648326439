// SPDX-License-Identifier: MIT
// Station address texts: "3", "0,4,8,12", "ALL" (any case), and the prefixes that start
// every command ("_3" for one station, "1111" as a 16-bit mask for a group).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../link/station_memory.h"

namespace corvex::commands {

using link::kBoardCount;
using link::kStationCount;
inline constexpr int kHighestAddress = kStationCount - 1;

// Board arithmetic: four stations per board; the master controller is the board's first
// station, the user-I/O controller its second.
constexpr int boardOf(int address) { return address / 4; }
constexpr int masterOf(int board) { return 4 * board; }
constexpr int userIoControllerOf(int board) { return 4 * board + 1; }
constexpr bool isMaster(int address) { return address % 4 == 0; }
constexpr bool isUserIoController(int address) { return address % 4 == 1; }

// An address text may hold at most this many characters. Longer texts, and texts with no
// terminator within kAddressTextLimit + 1 bytes, are wrong addresses: nothing beyond that
// reach is ever read.
inline constexpr std::size_t kAddressTextLimit = 63;
inline constexpr std::size_t kPrefixSize = 20;  // "_7FFFFFFF" or "FFFF", with room to spare

enum class AddressKind : std::uint8_t { Wrong, Single, Group };

struct ParsedAddress {
    AddressKind kind = AddressKind::Wrong;
    std::uint32_t address = 0;  // Single: the address, which may lie above 15
    std::uint16_t mask = 0;     // Group: bit n set for address n
    char prefix[kPrefixSize] = {};
};

// Parses an address text.
//   "ALL" in any case             -> Group, prefix "FFFF"
//   one decimal address            -> Single, prefix "_" and the address in upper-case hex
//   no piece or several pieces     -> Group, prefix the mask as four hex digits ("" gives
//                                     "0000", "3,3" gives "0008"), or Wrong when a listed
//                                     address is above 15
// Every comma-separated piece must begin with a decimal digit (its leading digits are the
// address); a comma at the very end ends the list. NULL and over-long texts are Wrong.
// A single address above 15 is reported as Single so the caller can name it; every
// export refuses it (see resolveTarget).
ParsedAddress ParseStationAddress(const char *text);

// Pieces of a comma-separated list of decimal addresses, as read by the parser above.
struct PieceScan {
    bool notANumber = false;  // some piece does not begin with a decimal digit
    int count = 0;            // pieces read
    std::uint16_t mask = 0;   // bits of the listed addresses 0 to 15
    bool above15 = false;     // some piece names an address above 15
    std::uint32_t first = 0;  // the address of the first piece
};
PieceScan scanPieces(std::string_view text);

// A motor list (trigger and pause) or user-I/O list: comma-separated addresses 0 to 15.
enum class ListStatus : std::uint8_t {
    Ok,
    NotANumber,    // a piece does not begin with a digit: refused without a message
    WrongAddress,  // NULL, longer than `limit`, or an address above 15: message entry 1
};
struct AddressList {
    ListStatus status = ListStatus::WrongAddress;
    std::uint16_t mask = 0;
};
AddressList parseAddressList(const char *text, std::size_t limit);

// The number at the start of a text as the C library's atoi reads it (leading blanks,
// an optional sign, then digits; no digits give 0), saturating instead of overflowing.
std::int32_t leadingNumber(std::string_view text);

// The length of `text` when it ends within `limit` characters, else -1 (also for NULL).
// Reads at most limit + 1 bytes.
long boundedLength(const char *text, std::size_t limit);

}  // namespace corvex::commands
