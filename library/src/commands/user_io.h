// SPDX-License-Identifier: MIT
// The rules of the user I/O lists, shared by the direct and the queued output write.
#pragma once

#include <cstdint>

#include "../link/transaction.h"

namespace corvex::commands {

enum class UserIoAction : std::uint8_t { Configure, Write };

// Checks a user I/O address list (decimal addresses 0 to 15, at most 51 characters) and
// marks `value` for the board's user-I/O controllers (1, 5, 9, 13) it lists: OR 0x1600
// for a configuration, OR 0x1000 for an output write, which is also stored as the
// board's user output word at once. Returns false when the list is refused: a piece that
// is not a number (no message), a NULL, over-long or above-15 list (message entry 1), or
// a board's master controller (0, 4, 8, 12; error 51, the first in ascending order).
bool applyUserIoRules(link::Call &call, const char *addresses, UserIoAction action,
                      std::int32_t &value);

}  // namespace corvex::commands
