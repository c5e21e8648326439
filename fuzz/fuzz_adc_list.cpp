// SPDX-License-Identifier: MIT
// Fuzz target: the channel list of an all-channels ADC answer. Checks that no more than
// the given room is written, that the count matches the commas, and that each value is
// the number its piece starts with.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "commands/address.h"
#include "commands/channel_values.h"

using namespace corvex::commands;

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "channel list invariant broken: %s\n", what);
        std::abort();
    }
}

constexpr int kChannels = 11;
constexpr std::int32_t kUntouched = 0x5A5A5A5A;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view answer(reinterpret_cast<const char *>(data), size);
    std::int32_t values[kChannels + 4];
    for (auto &v : values) v = kUntouched;
    const int stored = storeChannelValues(answer, values, kChannels);

    std::size_t commas = 0;
    for (char c : answer) commas += c == ',' ? 1 : 0;
    check(stored == static_cast<int>(commas < kChannels ? commas : kChannels),
          "one value per comma");
    for (int i = kChannels; i < kChannels + 4; ++i)
        check(values[i] == kUntouched, "nothing beyond the room");

    std::size_t pos = 0;
    for (int i = 0; i < stored; ++i) {
        const std::size_t comma = answer.find(',', pos);
        check(values[i] == leadingNumber(answer.substr(pos, comma - pos)), "the piece's number");
        pos = comma + 1;
    }
    return 0;
}
