// SPDX-License-Identifier: MIT
// Opening and closing a line's device, as the port operations and the line exports do it.
#pragma once

#include "../platform/serial_device.h"
#include "transaction.h"

namespace corvex::link {

inline constexpr unsigned kOpenSettleMs = 300;  // after an open, before the first command

// Opens the line's device at its selected rate (a port still open is closed first) and
// gives the stations `settleMs`. 1, or -1 with error 36 and `failure` saying why.
int openLinePort(Call &call, platform::OpenFailure &failure, unsigned settleMs);

// Closes the line's open device: 1, or -1 with error 35 when none is open. With `drain`,
// the frames still on their way get their time first.
int closeLinePort(Call &call, bool drain);

// An open reached from the events that a close dispatches is refused (error 36).
bool refusedWhileClosing(Call &call);

}  // namespace corvex::link
