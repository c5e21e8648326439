// SPDX-License-Identifier: MIT
// The port listing of POSIX systems read from another sysfs and /dev tree, for tests that
// build a fake one; and the folders that stand for /sys and /dev.
#pragma once

#include <string>
#include <vector>

#include "../serial_ports.h"

namespace corvex::platform::posix {

// listSerialPorts() with /sys replaced by `sysfsRoot` and /dev by `devRoot`.
std::vector<SerialPortInfo> listSerialPortsIn(const std::string &sysfsRoot,
                                              const std::string &devRoot);

// The folders that listSerialPorts() reads and that the port-name resolver puts its
// /dev/ttyS<n-1> fallback in (see system_paths_posix.h).
std::string sysfsRoot();
std::string devRoot();

}  // namespace corvex::platform::posix
