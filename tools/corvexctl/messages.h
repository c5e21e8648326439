// SPDX-License-Identifier: MIT
// The library's failures in the words of the person at the machine: which station did not
// answer, which device did not open and why. The library's own text stays with the failure.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvexctl {

// The stations a command frame addresses: "_9P" names station 9, "1111M" (a mask, bit n for
// station n) stations 0, 4, 8 and 12; none for a text that starts otherwise.
std::vector<int> stationsOfCommand(std::string_view command);

// The message shown for a library failure with error `number` and message `text`. A time-out
// names the station that did not answer, taken from the command in `text` or else from
// `station` (the address the tool gave, empty when none); other texts stay as they are.
std::string plainMessage(int number, const std::string &text, const std::string &station);

// For the diagnostics line the library writes when port `port` does not open
// ("CorvexLink: OpenCommPort --> COM3: /dev/ttyUSB7: no such device"), what follows the
// port ("/dev/ttyUSB7: no such device"); nothing for any other line.
std::optional<std::string> openFailureOf(std::string_view line, int port);

// The device and the system's reason in such a failure, split at the device the port
// leads to; without that device in front, the whole text is the reason.
struct OpenFailure {
    std::string device;
    std::string reason;
};
OpenFailure splitOpenFailure(const std::string &failure, const std::string &device);

}  // namespace corvexctl
