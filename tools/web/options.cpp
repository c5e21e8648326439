// SPDX-License-Identifier: MIT
// Parsing of --line and --listen.
#include "options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <stdexcept>

namespace corvexweb {

namespace {

bool wholeNumber(const std::string &text, long min, long max, long &value) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = std::stol(text);
    return value >= min && value <= max;
}

}  // namespace

LineSettings parseLineSpec(const std::string &text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        throw std::invalid_argument("'" + text + "' is not NAME=DEVICE[,RATE]");
    LineSettings line;
    line.name = text.substr(0, equals);
    for (char c : line.name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'))
            throw std::invalid_argument("the line name '" + line.name +
                                        "' may hold only letters, digits and -_.");
    line.device = text.substr(equals + 1);
    const auto comma = line.device.rfind(',');
    if (comma != std::string::npos) {
        long rate = 0;
        const std::string rateText = line.device.substr(comma + 1);
        if (!wholeNumber(rateText, 1, 1000000, rate))
            throw std::invalid_argument("the rate '" + rateText + "' of line " + line.name +
                                        " is not a number");
        static const long rates[] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
        if (std::find(std::begin(rates), std::end(rates), rate) == std::end(rates))
            throw std::invalid_argument("the rate " + rateText + " of line " + line.name +
                                        " is not a line rate (300 ... 115200)");
        line.rate = static_cast<int>(rate);
        line.device.erase(comma);
    }
    if (line.device.empty()) throw std::invalid_argument("line " + line.name + " names no device");
    return line;
}

ListenAddress parseListen(const std::string &text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw std::invalid_argument("'" + text + "' is not HOST:PORT");
    ListenAddress out;
    out.host = text.substr(0, colon);
    long port = 0;
    if (!wholeNumber(text.substr(colon + 1), 0, 65535, port))
        throw std::invalid_argument("the port of '" + text + "' is not 0 to 65535");
    out.port = static_cast<int>(port);
    if (out.host == "localhost") {
        out.host = "127.0.0.1";
        out.loopback = true;
        return out;
    }
    in_addr address{};
    if (inet_pton(AF_INET, out.host.c_str(), &address) != 1)
        throw std::invalid_argument("'" + out.host +
                                    "' is not an IPv4 address (this civetweb has no IPv6)");
    out.loopback = (ntohl(address.s_addr) >> 24) == 127;
    return out;
}

std::string ListenAddress::civetweb() const { return host + ":" + std::to_string(port); }

}  // namespace corvexweb
