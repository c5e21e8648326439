// SPDX-License-Identifier: MIT
// The line rates the library drives, with the code that switches the stations to each: the
// one list from which the port's rate selection and the stations' rate change both read.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace corvex::link {

struct LineRate {
    std::int32_t rate;  // bits per second
    int stationCode;    // the digit of the "^n" command that moves a station to it; -1 none
};

inline constexpr LineRate kLineRates[] = {
    {300, -1},  {1200, -1}, {2400, -1}, {4800, -1},  {9600, 0},
    {19200, 1}, {38400, 2}, {57600, 3}, {115200, 4},
};

// The line rate for a requested rate: the listed rate in the same hundred (19250 gives
// 19200), or 0 when none is, which leaves the line at its rate.
constexpr std::int32_t lineRateFor(std::int32_t requested) {
    for (const LineRate &r : kLineRates)
        if (r.rate / 100 == requested / 100) return r.rate;
    return 0;
}

// The station code for exactly `rate`; 0 (9600) for a rate the stations cannot take.
constexpr int stationRateCode(std::int32_t rate) {
    for (const LineRate &r : kLineRates)
        if (r.rate == rate && r.stationCode >= 0) return r.stationCode;
    return 0;
}

// How long a write of `count` bytes may take before it counts as failed: the time-out of an
// answer plus twice the wire time of the bytes at `rate` (10 bits a byte), so that a frame
// never fails on a slow but working line, and a line that stopped taking bytes fails about
// as fast as a station that stopped answering.
inline constexpr std::chrono::milliseconds kWriteBoundBase{200};
constexpr std::chrono::milliseconds writeBound(std::size_t count, std::uint32_t rate) {
    const std::uint64_t bitsPerSecond = rate > 0 ? rate : 300;
    const std::uint64_t wireMs =
        (static_cast<std::uint64_t>(count) * 10 * 1000 + bitsPerSecond - 1) / bitsPerSecond;
    return kWriteBoundBase + std::chrono::milliseconds(2 * wireMs);
}

}  // namespace corvex::link
