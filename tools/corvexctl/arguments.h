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

}  // namespace corvexctl
