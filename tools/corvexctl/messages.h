// SPDX-License-Identifier: MIT
// The library's failures in the words of the person at the machine: which station did not
// answer, which device did not open and why. The library's own text stays with the failure.
#pragma once

#include "session.h"

#include <CorvexLink.h>

#include <string>
#include <string_view>
#include <vector>

namespace corvexctl {

// The stations a command frame addresses: "_9P" names station 9, "1111M" (a mask, bit n for
// station n) stations 0, 4, 8 and 12; none for a text that starts otherwise.
std::vector<int> stationsOfCommand(std::string_view command);

// The message shown for a library failure with error `number` and message `text`. A time-out
// names the station that did not answer, taken from `sent` (the last frame the failed call
// sent) or else from `station` (the address the tool gave, empty when none); other texts stay
// as they are.
std::string plainMessage(int number, const std::string &text, const std::string &sent,
                         const std::string &station);

// The failure of a line `name` that did not open, from the library's result: "cannot open
// COM3: /dev/ttyS2: no such device" (the device only when the name is not the device itself),
// with the library's number and message, and as JSON details the port number (for a COM name),
// the device, the reason in words and as a code ("no_device", "in_use", ...).
Failure openFailure(const std::string &name, const CorvexLinkResult &result);

}  // namespace corvexctl
