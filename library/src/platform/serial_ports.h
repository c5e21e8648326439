// SPDX-License-Identifier: MIT
// The serial devices of the machine and the logical port numbers (COM<n>) that lead to
// them. Each operating system fills this in in a file of its own (posix/port_list_posix.cpp
// and posix/port_names_posix.cpp); tools and the port dialog use it to show a person which
// device a port number names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvex::platform {

// One serial device found on the machine.
struct SerialPortInfo {
    std::string device;      // the device node, "/dev/ttyUSB0"
    std::string stableName;  // a name that survives re-plugging ("/dev/serial/by-id/…"), or ""
    std::string driver;      // the kernel driver bound to it ("ftdi_sio", "serial"), or ""
    bool usb = false;        // a USB adapter: the fields below are filled in where known
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

// Every serial device of the machine, in natural order of their names (ttyS2 before ttyS10).
// Devices that cannot be read are skipped; fields that cannot be read stay empty.
std::vector<SerialPortInfo> listSerialPorts();

// Where a logical port number leads, and what said so.
struct PortMapping {
    int port = 0;        // n of COM<n>
    std::string device;  // the device path; "" when the port names nothing
    std::string source;  // "CORVEXLINK_COM1", "<file>:<line>" or "default"
};

// Resolves COM<port>. Ports below 1 name nothing.
PortMapping resolvePort(int port);

// The number n whose COM<n> resolves to `device` (the same node, through links too), or 0.
int portNumberOf(const std::string &device);

}  // namespace corvex::platform
