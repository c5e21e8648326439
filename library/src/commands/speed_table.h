// SPDX-License-Identifier: MIT
// The step rates a station can really run at. A station divides its 921600 Hz step clock
// by an integer; the divisor for a requested speed comes from three tables: below 4096
// steps/s one point every 16 steps/s with linear interpolation between points, from 4096
// one entry per 32 steps/s, from 6144 to 10239 one entry per 32 steps/s.
#pragma once

#include <array>
#include <cstdint>

#include "CorvexLink.h"

namespace corvex::commands {

inline constexpr std::uint32_t kStepClockHz = 921600;
inline constexpr std::int32_t kMinTableSpeed = CORVEXLINK_FIXED_SPEED_MIN;
inline constexpr std::int32_t kMaxTableSpeed = CORVEXLINK_FIXED_SPEED_MAX;

namespace detail {

// numerator / denominator rounded to the nearest integer, an exact half rounded down
// (the one half among the tables, 921600 / 8192 = 112.5, gives 112).
constexpr std::uint32_t roundedQuotient(std::uint32_t numerator, std::uint32_t denominator) {
    return (2 * numerator + denominator - 1) / (2 * denominator);
}

template <std::size_t N>
constexpr std::array<std::uint16_t, N> divisorTable(std::uint32_t firstSpeed, std::uint32_t step) {
    std::array<std::uint16_t, N> table{};
    for (std::size_t i = 0; i < N; ++i) {
        table[i] = static_cast<std::uint16_t>(
            roundedQuotient(kStepClockHz, firstSpeed + step * static_cast<std::uint32_t>(i)));
    }
    return table;
}

}  // namespace detail

// T1[i] = 921600 / (16 (i+1)), T2[i] = 921600 / (4112 + 32 i), T3[i] = 921600 / (6176 + 32 i).
inline constexpr auto kDivisorsLow = detail::divisorTable<256>(16, 16);
inline constexpr auto kDivisorsMid = detail::divisorTable<64>(4112, 32);
inline constexpr auto kDivisorsHigh = detail::divisorTable<128>(6176, 32);

static_assert(kDivisorsLow.front() == 57600 && kDivisorsLow[2] == 19200 &&
              kDivisorsLow.back() == 225);
static_assert(kDivisorsMid.front() == 224 && kDivisorsMid.back() == 150);
static_assert(kDivisorsHigh.front() == 149 && kDivisorsHigh[63] == 112 &&
              kDivisorsHigh.back() == 90);

// The clock divisor for `speed`, which must lie in kMinTableSpeed..kMaxTableSpeed.
constexpr std::uint32_t speedToDivisor(std::int32_t speed) {
    if (speed < 4096) {
        const std::uint32_t d = static_cast<std::uint32_t>(speed - 16);
        const std::uint32_t i = d / 16, f = d % 16;
        const std::uint32_t a = kDivisorsLow[i], b = kDivisorsLow[i + 1];
        return a - (f * (a - b)) / 16;
    }
    if (speed < 6144) return kDivisorsMid[static_cast<std::uint32_t>(speed - 4096) / 32];
    return kDivisorsHigh[static_cast<std::uint32_t>(speed - 6144) / 32];
}

// The speed a station runs at for a requested speed. Requests outside the tables are
// taken at the nearest end: below 16 as 16, above 10239 as 10239 (which runs at 10240).
constexpr std::int32_t fixedSpeed(std::int32_t speed) {
    const std::int32_t clamped = speed < kMinTableSpeed   ? kMinTableSpeed
                                 : speed > kMaxTableSpeed ? kMaxTableSpeed
                                                          : speed;
    return static_cast<std::int32_t>(kStepClockHz / speedToDivisor(clamped));
}

}  // namespace corvex::commands
