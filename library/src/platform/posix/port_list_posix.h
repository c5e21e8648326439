// The port listing of POSIX systems read from another sysfs and /dev tree, for tests that
// build a fake one.
#pragma once

#include <string>
#include <vector>

#include "../serial_ports.h"

namespace corvex::platform::posix {

// listSerialPorts() with /sys replaced by `sysfsRoot` and /dev by `devRoot`.
std::vector<SerialPortInfo> listSerialPortsIn(const std::string &sysfsRoot, const std::string &devRoot);

}  // namespace corvex::platform::posix
