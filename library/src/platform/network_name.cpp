// SPDX-License-Identifier: MIT
// Parsing of the network port names rfc2217://HOST:PORT and tcp://HOST:PORT.
#include "network_name.h"

#include <algorithm>
#include <cctype>

namespace corvex::platform {
namespace {

bool isSchemeChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool isHostNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
}

bool isIpv6Char(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
}

}  // namespace

bool isNetworkName(const std::string &name) {
    const std::size_t sep = name.find("://");
    if (sep == std::string::npos || sep < 2) return false;
    if (std::isalpha(static_cast<unsigned char>(name[0])) == 0) return false;
    return std::all_of(name.begin(), name.begin() + static_cast<long>(sep), isSchemeChar);
}

std::optional<NetworkName> parseNetworkName(const std::string &name, std::string &problem) {
    if (!isNetworkName(name)) {
        problem = "not of the form rfc2217://HOST:PORT or tcp://HOST:PORT";
        return std::nullopt;
    }
    const std::size_t sep = name.find("://");
    const std::string scheme = lower(name.substr(0, sep));
    NetworkName n;
    if (scheme == "rfc2217") {
        n.rfc2217 = true;
    } else if (scheme != "tcp") {
        problem = "unknown scheme \"" + name.substr(0, sep) + "\" (rfc2217:// or tcp://)";
        return std::nullopt;
    }
    const std::string rest = name.substr(sep + 3);
    std::string portText;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) {
            problem = "\"[\" without \"]\" around the IPv6 address";
            return std::nullopt;
        }
        n.host = rest.substr(1, close - 1);
        // A link-local address names the interface it is reached through after '%' (its
        // zone: a name such as eth0, or the interface's number), as the system writes it.
        const std::size_t percent = n.host.find('%');
        const std::string address = n.host.substr(0, percent);
        if (address.empty() || address.find(':') == std::string::npos ||
            !std::all_of(address.begin(), address.end(), isIpv6Char)) {
            problem = "\"" + n.host + "\" in brackets is not an IPv6 address";
            return std::nullopt;
        }
        if (percent != std::string::npos) {
            const std::string zone = n.host.substr(percent + 1);
            if (zone.empty() || !std::all_of(zone.begin(), zone.end(), isHostNameChar)) {
                problem = "\"" + zone + "\" after '%' is not an interface name or number";
                return std::nullopt;
            }
        }
        const std::string after = rest.substr(close + 1);
        if (after.empty() || after[0] != ':') {
            problem = after.empty() ? "no port after the host (HOST:PORT)"
                                    : "\"" + after + "\" after the IPv6 address instead of :PORT";
            return std::nullopt;
        }
        portText = after.substr(1);
    } else {
        const std::size_t colon = rest.find(':');
        if (colon == std::string::npos) {
            problem = "no port after the host (HOST:PORT)";
            return std::nullopt;
        }
        if (rest.find(':', colon + 1) != std::string::npos) {
            problem = "an IPv6 address must be written in brackets ([ADDRESS]:PORT)";
            return std::nullopt;
        }
        n.host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
        if (n.host.empty()) {
            problem = "no host before the port";
            return std::nullopt;
        }
        if (!std::all_of(n.host.begin(), n.host.end(), isHostNameChar)) {
            problem = "host \"" + n.host +
                      "\" holds characters other than letters, digits, '-', "
                      "'_' and '.'";
            return std::nullopt;
        }
    }
    const std::size_t digits = static_cast<std::size_t>(
        std::find_if_not(portText.begin(), portText.end(),
                         [](unsigned char c) { return std::isdigit(c) != 0; }) -
        portText.begin());
    if (digits < portText.size() && digits > 0) {
        problem = "\"" + portText.substr(digits) + "\" after the port (nothing may follow it)";
        return std::nullopt;
    }
    long port = 0;
    for (std::size_t i = 0; i < digits && port <= 65535; ++i)
        port = port * 10 + (portText[i] - '0');
    if (digits == 0 || port < 1 || port > 65535) {
        problem = portText.empty() ? "no port after the host (HOST:PORT)"
                                   : "port \"" + portText + "\" is not a number from 1 to 65535";
        return std::nullopt;
    }
    n.port = static_cast<std::uint16_t>(port);
    return n;
}

}  // namespace corvex::platform
