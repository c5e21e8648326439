// SPDX-License-Identifier: MIT
// Opening a logical port: its name leads to a network line or to a local device.
#include "serial_device.h"

#include "network_line.h"
#include "network_name.h"

namespace corvex::platform {

std::unique_ptr<SerialDevice> openSerialDevice(int port, std::string *failure) {
    std::string reason;
    const std::string name = resolvePortName(port);
    std::unique_ptr<SerialDevice> device;
    if (name.empty()) {
        reason = "COM" + std::to_string(port) + " names no device";
    } else if (isNetworkName(name)) {
        device = openNetworkLine(name, reason);
    } else {
        device = openLocalDevice(name, reason);
    }
    if (!device && failure != nullptr) *failure = reason;
    return device;
}

}  // namespace corvex::platform
