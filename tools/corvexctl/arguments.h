// SPDX-License-Identifier: MIT
// Validators for the arguments corvexctl takes, so that a bad argument is refused with
// exit code 2 before the port is opened.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace corvexctl {

// "0", "1,5,9" (every member 0..15) and, where allowed, "all" in any case.
std::optional<std::vector<int>> parseAddressList(const std::string &text, bool allowAll);
// "0-3", "0,2,5-7": the station list of the simulator.
std::optional<std::vector<int>> parseStationRanges(const std::string &text);

// One station address 0..15.
CLI::Validator singleAddress();
// A list of addresses 0..15, or "all" when `allowAll`.
CLI::Validator addressList(bool allowAll);
// A board's master controller: 0, 4, 8 or 12.
CLI::Validator masterAddress();
// A station list such as 0-3 for --simulate.
CLI::Validator stationRanges();

// A whole number in decimal, min..max: "abc" is named as not a number, "99999999" as out of
// range. The text is rewritten in plain decimal, so that a leading zero never reads as octal
// and "0x10" is not taken as hexadecimal.
CLI::Validator wholeNumber(long long min, long long max);
// A whole number in decimal out of `allowed` (rates, bit counts, modes).
CLI::Validator wholeNumberOf(const std::vector<long long> &allowed);
// A decimal number min..max, such as seconds (no hexadecimal, infinity or NaN).
CLI::Validator decimalNumber(double min, double max);

}  // namespace corvexctl
