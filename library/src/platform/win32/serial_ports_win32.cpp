// SPDX-License-Identifier: MIT
// The serial devices of a Windows machine and the port numbers that lead to them. Windows
// names its ports COM<n> itself, so the list is the system's table of serial ports
// (HARDWARE\DEVICEMAP\SERIALCOMM); it carries no stable names or USB attributes.
#include "../serial_ports.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "../serial_device.h"

namespace corvex::platform {
namespace {

// n of "COM<n>" or "\\.\COM<n>" (any case), or 0.
int portOfName(std::string name) {
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    if (name.size() < 4 || _strnicmp(name.c_str(), "COM", 3) != 0) return 0;
    long long n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 100000000) return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= 0x7fffffff ? static_cast<int>(n) : 0;
}

}  // namespace

PortMapping resolvePort(int port) {
    PortMapping m;
    m.port = port;
    m.device = resolvePortName(port);
    if (m.device.empty()) return m;
    const std::string variable = "CORVEXLINK_COM" + std::to_string(port);
    const char *mapped = std::getenv(variable.c_str());
    m.source = mapped != nullptr && mapped[0] != '\0' ? variable : "default";
    return m;
}

int portNumberOf(const std::string &device) {
    // A port named in the environment first (the smallest), then the port's own number
    // when nothing redirects it.
    int best = 0;
    for (char **e = _environ; e != nullptr && *e != nullptr; ++e) {
        const char *equals = std::strchr(*e, '=');
        if (equals == nullptr || std::strncmp(*e, "CORVEXLINK_COM", 14) != 0) continue;
        const int n = portOfName(std::string(static_cast<const char *>(*e) + 11, equals));
        if (n > 0 && _stricmp(equals + 1, device.c_str()) == 0 && (best == 0 || n < best)) best = n;
    }
    if (best != 0) return best;
    const int own = portOfName(device);
    if (own > 0 && portOfName(resolvePort(own).device) == own) return own;
    return 0;
}

std::vector<SerialPortInfo> listSerialPorts() {
    std::vector<SerialPortInfo> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        BYTE data[256];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        const LONG r =
            ::RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize] = 0;
        SerialPortInfo info;
        info.device = reinterpret_cast<const char *>(data);
        if (portOfName(info.device) == 0) continue;
        ports.push_back(std::move(info));
    }
    ::RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo &a, const SerialPortInfo &b) {
        return portOfName(a.device) < portOfName(b.device);
    });
    return ports;
}

}  // namespace corvex::platform
