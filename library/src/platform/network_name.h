// SPDX-License-Identifier: MIT
// Port names that lead over the network instead of to a local device:
// "rfc2217://HOST:PORT" (Telnet with the COM-port option) and "tcp://HOST:PORT" (a raw byte
// stream). HOST is a host name, an IPv4 address or an IPv6 address in brackets, with the
// zone of a link-local one after '%' ("[fe80::1%eth0]").
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvex::platform {

struct NetworkName {
    bool rfc2217 = false;  // else raw TCP
    std::string host;      // without the brackets of an IPv6 address, with its zone
    std::uint16_t port = 0;
};

// Whether `name` is meant as a network name ("<scheme>://…", the scheme two characters or
// more, so that a Windows drive letter is no scheme), well formed or not.
bool isNetworkName(const std::string &name);

// The parts of a network name, or nothing with `problem` saying what is wrong with it.
std::optional<NetworkName> parseNetworkName(const std::string &name, std::string &problem);

}  // namespace corvex::platform
