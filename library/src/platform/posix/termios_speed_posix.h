// SPDX-License-Identifier: MIT
// Translation of a line rate in bits per second to the terminal driver's speed code.
#pragma once

#include <termios.h>

#include <cstdint>

namespace corvex::platform {

// The termios speed code of `rate`, or B0 for a rate the terminal driver does not know.
speed_t termiosSpeed(std::uint32_t rate);

}  // namespace corvex::platform
