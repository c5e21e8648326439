// SPDX-License-Identifier: MIT
#include "channel_values.h"

#include "address.h"

namespace corvex::commands {

int storeChannelValues(std::string_view answer, std::int32_t *values, int capacity) {
    std::size_t pos = 0;
    int stored = 0;
    while (stored < capacity) {
        const std::size_t comma = answer.find(',', pos);
        if (comma == std::string_view::npos) break;
        values[stored++] = leadingNumber(answer.substr(pos, comma - pos));
        pos = comma + 1;
    }
    return stored;
}

}  // namespace corvex::commands
