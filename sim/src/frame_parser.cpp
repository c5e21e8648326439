// SPDX-License-Identifier: MIT
#include "frame_parser.h"

#include <cctype>
#include <limits>

namespace kx4417 {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

ParsedFrame parseBaud(std::string_view rest, std::uint16_t mask) {
    ParsedFrame f;
    f.kind = ParsedFrame::Kind::BaudChange;
    f.mask = mask;
    if (rest.size() == 2 && rest[1] >= '0' && rest[1] <= '4') f.baudCode = rest[1] - '0';
    return f;
}

}  // namespace

ParsedFrame parseFrame(std::string_view frame) {
    ParsedFrame f;
    if (frame.empty()) return f;
    if (frame[0] == '^') return parseBaud(frame, 0xFFFF);

    std::uint16_t mask = 0;
    std::string_view rest;
    if (frame[0] == '_') {
        int digit = frame.size() > 1 ? hexDigit(frame[1]) : -1;
        if (digit < 0) {
            f.kind = ParsedFrame::Kind::Unknown;
            return f;
        }
        mask = static_cast<std::uint16_t>(1u << digit);
        rest = frame.substr(2);
    } else {
        if (frame.size() < 4) {
            f.kind = ParsedFrame::Kind::Unknown;
            return f;
        }
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            int digit = hexDigit(frame[i]);
            if (digit < 0) {
                f.kind = ParsedFrame::Kind::Unknown;
                return f;
            }
            value = value * 16 + static_cast<unsigned>(digit);
        }
        mask = static_cast<std::uint16_t>(value);
        rest = frame.substr(4);
    }

    f.mask = mask;
    if (rest.empty()) {
        f.kind = ParsedFrame::Kind::Probe;
        return f;
    }
    if (rest[0] == '^') return parseBaud(rest, mask);
    f.kind = ParsedFrame::Kind::Command;
    if (rest[0] == '&') {
        f.fifo = true;
        rest.remove_prefix(1);
    }
    if (!rest.empty()) {
        f.letter = rest[0];
        f.valueText = std::string(rest.substr(1));
    }
    return f;
}

Value parseValue(std::string_view text) {
    Value v;
    if (text.empty()) return v;
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) {
        v.state = Value::State::Bad;
        return v;
    }
    constexpr long long kLimit = std::numeric_limits<long long>::max() / 10 - 10;
    long long n = 0;
    bool tooBig = false;
    for (; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isdigit(c)) {
            v.state = Value::State::Bad;
            return v;
        }
        if (n > kLimit)
            tooBig = true;
        else
            n = n * 10 + (c - '0');
    }
    v.state = tooBig ? Value::State::OutOfRange : Value::State::Ok;
    v.number = negative ? -n : n;
    return v;
}

}  // namespace kx4417
