// SPDX-License-Identifier: MIT
// Value conversions between the caller's units and the stations' command arguments.
#pragma once

#include <cstdint>

#include "CorvexLink.h"

namespace corvex::commands {

inline constexpr std::int32_t kMinCurrentMilliamps = CORVEXLINK_CURRENT_MIN;
inline constexpr std::int32_t kMaxCurrentMilliamps = CORVEXLINK_CURRENT_MAX;

// The winding-current code of the board's current DAC for `milliamps`: the current through
// the 0.4 ratio of the 624640-count reference over 2200 ohm, in mA, truncated; at most 255.
// The factors are multiplied in this order in extended precision, so the codes match the
// boards' calibration exactly (50 mA gives 5, 1000 mA 113, 2000 mA 227).
constexpr std::int32_t windingCurrentCode(std::int32_t milliamps) {
    const long double code =
        static_cast<long double>(milliamps) * 624640.0L * 0.4L * (1.0L / 2200.0L) * 0.001L;
    if (code >= 255.0L) return 255;
    if (code <= 0.0L) return 0;
    return static_cast<std::int32_t>(code);
}

// Slopes of queued moves are sent as one byte: a negative slope s as 256 + s.
inline constexpr std::int32_t kMinFifoSlope = CORVEXLINK_FIFO_SLOPE_MIN;
inline constexpr std::int32_t kMaxFifoSlope = CORVEXLINK_FIFO_SLOPE_MAX;
constexpr std::int32_t fifoSlopeArgument(std::int32_t slope) {
    return slope < 0 ? 256 + slope : slope;
}

}  // namespace corvex::commands
