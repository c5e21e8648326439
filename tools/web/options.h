// SPDX-License-Identifier: MIT
// The command line's values that need more than a type: a line "NAME=DEVICE[,RATE]" and
// the address to listen on.
#pragma once

#include "served_line.h"

#include <string>

namespace corvexweb {

// "NAME=DEVICE[,RATE]"; throws std::invalid_argument saying what is wrong.
LineSettings parseLineSpec(const std::string &text);

// "HOST:PORT" with an IPv4 address or "localhost"; throws std::invalid_argument.
struct ListenAddress {
    std::string host;
    int port = 0;
    bool loopback = false;
    std::string civetweb() const;  // as civetweb's listening_ports takes it
};
ListenAddress parseListen(const std::string &text);

}  // namespace corvexweb
