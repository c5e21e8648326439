// SPDX-License-Identifier: MIT
// The pieces of the POSIX port-name resolver that tests reach directly: the ports.conf
// parser, the list of files read, and resolution against another /dev folder.
#pragma once

#include <string>
#include <vector>

#include "../serial_ports.h"

namespace corvex::platform::posix {

// One "COM<n> = <device path>" line of a ports.conf file.
struct PortsConfEntry {
    int port = 0;
    std::string device;
    std::string file;
    int line = 0;
};

// The valid entries of a ports.conf text, in file order. Blank lines and lines starting
// with '#' are skipped; so is the rest of a line after a blank followed by '#'. A line that
// is neither, or that names a port already given, is reported through the diagnostics
// (once per process for the same file, line number and text) and skipped.
std::vector<PortsConfEntry> parsePortsConf(const std::string &text, const std::string &fileName);

// The ports.conf files consulted, first one first: the user's
// ($XDG_CONFIG_HOME or ~/.config, then /corvexlink/ports.conf) and the system's.
std::vector<std::string> portsConfFiles();

// resolvePort() with /dev replaced by `devRoot` for the /dev/ttyS<n-1> fallback.
PortMapping resolvePortIn(int port, const std::string &devRoot);

// portNumberOf() with /dev replaced by `devRoot` for the /dev/ttyS<n-1> fallback.
int portNumberIn(const std::string &device, const std::string &devRoot);

}  // namespace corvex::platform::posix
