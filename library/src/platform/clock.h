// SPDX-License-Identifier: MIT
// Time services: the millisecond tick count, sleeps and the spin-wait pause.
#pragma once

#include <cstdint>

namespace corvex::platform {

// Milliseconds of a monotonic clock as an unsigned 32-bit count. Compare two counts by
// unsigned difference only, which stays right across the wrap-around.
std::uint32_t tickCount();

void sleepMs(unsigned milliseconds);

// A CPU pause for spin loops: keeps a waiting caller responsive without sleeping and
// kind to the other core.
void cpuRelax();

}  // namespace corvex::platform
