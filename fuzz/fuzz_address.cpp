// SPDX-License-Identifier: MIT
// Fuzz target: address texts as the exports read them (one address, a list, ALL, and the
// motor and user-I/O lists). Checks that the two readings agree and that every prefix is
// what the parsed address says.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands/address.h"

using namespace corvex::commands;

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "address invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The exports get NUL-terminated texts; the first NUL ends the text as it would there.
    const std::string text(reinterpret_cast<const char *>(data), size);
    const ParsedAddress parsed = ParseStationAddress(text.c_str());
    const AddressList list = parseAddressList(text.c_str(), kAddressTextLimit);
    char expected[kPrefixSize];

    switch (parsed.kind) {
    case AddressKind::Wrong:
        check(parsed.prefix[0] == '\0', "a wrong address has no prefix");
        check(list.status != ListStatus::Ok, "a wrong address is a wrong list");
        break;
    case AddressKind::Single:
        std::snprintf(expected, sizeof expected, "_%X", parsed.address);
        check(std::strcmp(parsed.prefix, expected) == 0, "single prefix");
        if (parsed.address <= static_cast<std::uint32_t>(kHighestAddress))
            check(list.status == ListStatus::Ok && list.mask == (1u << parsed.address),
                  "single as a list");
        else
            check(list.status == ListStatus::WrongAddress,
                  "a single address above 15 is a wrong list");
        break;
    case AddressKind::Group:
        std::snprintf(expected, sizeof expected, "%04X", static_cast<unsigned>(parsed.mask));
        check(std::strcmp(parsed.prefix, expected) == 0, "group prefix");
        if (parsed.mask != 0xFFFF || list.status == ListStatus::Ok)
            check(list.status == ListStatus::Ok && list.mask == parsed.mask, "group as a list");
        break;
    }
    check(std::strlen(parsed.prefix) < kPrefixSize, "prefix fits");

    const std::int32_t number = leadingNumber(text);
    check(number != INT32_MIN || text.find('-') != std::string::npos,
          "only a minus gives the lowest number");
    return 0;
}
