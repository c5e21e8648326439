// SPDX-License-Identifier: MIT
// Exports that act on no line: the devices of the machine with the port numbers that lead to
// them, the device behind a port number, and the speed a station really runs at. They read
// the system's tables or compute, so they take no export lock and leave the error state
// alone.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "../commands/speed_table.h"
#include "../platform/serial_ports.h"
#include "alias.h"
#include "course.h"

namespace {

template <std::size_t N>
void copyText(char (&field)[N], const std::string &text) {
    std::snprintf(field, N, "%s", text.c_str());
}

void fill(CorvexLinkPortInfo &out, const corvex::platform::SerialPortInfo &in) {
    copyText(out.device, in.device);
    copyText(out.stableName, in.stableName);
    copyText(out.driver, in.driver);
    copyText(out.manufacturer, in.manufacturer);
    copyText(out.product, in.product);
    copyText(out.serialNumber, in.serialNumber);
    out.usb = in.usb ? 1 : 0;
    out.vendorId = in.vendorId;
    out.productId = in.productId;
    out.port = corvex::platform::portNumberOf(in.device);
}

}  // namespace

extern "C" int PortList(CorvexLinkPortInfo *ports, int capacity) {
    if (capacity < 0 || (ports == nullptr && capacity > 0)) return -1;
    try {
        const auto found = corvex::platform::listSerialPorts();
        const std::size_t written = std::min(found.size(), static_cast<std::size_t>(capacity));
        for (std::size_t i = 0; i < written; ++i) fill(ports[i], found[i]);
        return static_cast<int>(std::min(found.size(), static_cast<std::size_t>(INT_MAX)));
    } catch (...) {
        return -1;  // out of memory while reading the tables
    }
}
CORVEXLINK_ALIAS(PortList)

extern "C" int PortDevice(int port, char *device, int size) {
    if (port < 1 || device == nullptr || size <= 0) return -1;
    try {
        const std::string path = corvex::platform::resolvePort(port).device;
        if (path.size() + 1 > static_cast<std::size_t>(size)) return -1;
        std::memcpy(device, path.c_str(), path.size() + 1);
        return 1;
    } catch (...) {
        return -1;
    }
}
CORVEXLINK_ALIAS(PortDevice)

extern "C" int GetFixedSpeed(int speed) { return corvex::commands::fixedSpeed(speed); }
CORVEXLINK_ALIAS(GetFixedSpeed)
