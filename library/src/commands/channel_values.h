// SPDX-License-Identifier: MIT
// The list of channel readings in an all-channels ADC answer: comma-terminated numbers.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvex::commands {

// Stores the comma-terminated numbers at the start of `answer` into values[0..capacity-1],
// each read as leadingNumber() reads it; text after the last comma is ignored. Returns the
// number of values stored; elements beyond it are not touched.
int storeChannelValues(std::string_view answer, std::int32_t *values, int capacity);

}  // namespace corvex::commands
