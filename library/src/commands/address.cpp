// SPDX-License-Identifier: MIT
#include "address.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace corvex::commands {

namespace {

constexpr std::uint32_t kSaturated = std::numeric_limits<std::int32_t>::max();

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the decimal digits at `pos`, saturating; leaves `pos` after them.
std::uint32_t readDigits(std::string_view text, std::size_t &pos) {
    std::uint32_t value = 0;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        const std::uint32_t digit = static_cast<std::uint32_t>(text[pos] - '0');
        value = value > (kSaturated - digit) / 10 ? kSaturated : value * 10 + digit;
    }
    return value;
}

bool equalsAllIgnoringCase(std::string_view text) {
    if (text.size() != 3) return false;
    const auto up = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    };
    return up(text[0]) == 'A' && up(text[1]) == 'L' && up(text[2]) == 'L';
}

}  // namespace

long boundedLength(const char *text, std::size_t limit) {
    if (text == nullptr) return -1;
    const std::size_t length = strnlen(text, limit + 1);
    return length > limit ? -1 : static_cast<long>(length);
}

PieceScan scanPieces(std::string_view text) {
    PieceScan scan;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (!isDigit(text[pos])) {
            scan.notANumber = true;
            return scan;
        }
        const std::uint32_t address = readDigits(text, pos);
        if (scan.count == 0) scan.first = address;
        ++scan.count;
        if (address <= static_cast<std::uint32_t>(kHighestAddress)) {
            scan.mask = static_cast<std::uint16_t>(scan.mask | (1u << address));
        } else {
            scan.above15 = true;
        }
        // Whatever follows the digits up to the next comma belongs to this piece.
        while (pos < text.size() && text[pos] != ',') ++pos;
        if (pos < text.size()) ++pos;  // the comma; a comma at the very end ends the list
    }
    return scan;
}

ParsedAddress ParseStationAddress(const char *text) {
    ParsedAddress parsed;
    const long length = boundedLength(text, kAddressTextLimit);
    if (length < 0) return parsed;
    const std::string_view view(text, static_cast<std::size_t>(length));

    if (equalsAllIgnoringCase(view)) {
        parsed.kind = AddressKind::Group;
        parsed.mask = 0xFFFF;
        std::snprintf(parsed.prefix, sizeof parsed.prefix, "%4X", 0xFFFFu);
        return parsed;
    }

    const PieceScan scan = scanPieces(view);
    if (scan.notANumber) return parsed;
    if (scan.count == 1) {
        parsed.kind = AddressKind::Single;
        parsed.address = scan.first;
        std::snprintf(parsed.prefix, sizeof parsed.prefix, "%c%X", '_', scan.first);
        return parsed;
    }
    if (scan.above15) return parsed;
    parsed.kind = AddressKind::Group;
    parsed.mask = scan.mask;
    std::snprintf(parsed.prefix, sizeof parsed.prefix, "%04X", static_cast<unsigned>(scan.mask));
    return parsed;
}

AddressList parseAddressList(const char *text, std::size_t limit) {
    AddressList list;
    const long length = boundedLength(text, limit);
    if (length < 0) return list;
    const PieceScan scan = scanPieces(std::string_view(text, static_cast<std::size_t>(length)));
    if (scan.notANumber) {
        list.status = ListStatus::NotANumber;
    } else if (!scan.above15) {
        list.status = ListStatus::Ok;
        list.mask = scan.mask;
    }
    return list;
}

std::int32_t leadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    const std::uint32_t magnitude = readDigits(text, pos);
    return negative ? -static_cast<std::int32_t>(magnitude) : static_cast<std::int32_t>(magnitude);
}

}  // namespace corvex::commands
