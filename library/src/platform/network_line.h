// SPDX-License-Identifier: MIT
// A serial line reached over the network, behind the same device interface as a local one:
// rfc2217://HOST:PORT speaks Telnet with the COM-port option (line settings, rate changes,
// DTR and purges reach the server's device), tcp://HOST:PORT is a raw byte stream.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "serial_device.h"

namespace corvex::platform {

// The bound on the whole open (name lookup, connection and, for RFC 2217, the server's
// agreement to the COM-port option).
inline constexpr std::chrono::milliseconds kNetworkOpenBound{3000};
// How long the server has to acknowledge the line settings or a rate change.
inline constexpr std::chrono::milliseconds kNetworkAnswerBound{2000};

// Connects to the line that network port name `name` gives. Returns nullptr with `failure`
// set (device `name`) when the name is malformed, the server cannot be reached in
// kNetworkOpenBound, or it does not take the COM-port option.
std::unique_ptr<SerialDevice> openNetworkLine(const std::string &name, OpenFailure &failure);

}  // namespace corvex::platform
