// SPDX-License-Identifier: MIT
// Splits one received frame (without its CR) into address, command letter and value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kx4417 {

struct ParsedFrame {
    enum class Kind {
        Empty,       // a lone CR
        Unknown,     // no valid address prefix
        Probe,       // the prefix alone
        Command,     // prefix, optional '&', letter, value text
        BaudChange,  // '^' and a rate code, with or without a prefix
    };
    Kind kind = Kind::Empty;
    std::uint16_t mask = 0;  // addressed stations (all 16 for a '^' without prefix)
    bool fifo = false;       // '&' form
    char letter = 0;
    std::string valueText;  // everything after the letter
    int baudCode = -1;      // 0..4 for BaudChange; -1 if the code is not a valid digit
};

ParsedFrame parseFrame(std::string_view frame);

// The decimal value of a command: optional sign, then digits, nothing else.
struct Value {
    enum class State { Absent, Ok, Bad, OutOfRange } state = State::Absent;
    long long number = 0;
};
Value parseValue(std::string_view text);

}  // namespace kx4417
