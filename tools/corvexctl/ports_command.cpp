// SPDX-License-Identifier: MIT
// The ports subcommand: the serial devices of the machine, each with the COM number that
// opens it, its stable name and, for USB adapters, what the adapter says about itself.
// Opens no device, so it also works while another program holds a port.
#include "commands.h"

#include <CorvexLink.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace corvexctl {

namespace {

std::vector<CorvexLinkPortInfo> listPorts() {
    // The device count can change between the two calls (an adapter plugged in): ask
    // until the array was large enough.
    std::vector<CorvexLinkPortInfo> ports;
    for (;;) {
        const int count = PortList(ports.data(), static_cast<int>(ports.size()));
        if (count < 0) throw Failure("the serial devices could not be listed");
        if (static_cast<std::size_t>(count) <= ports.size()) {
            ports.resize(static_cast<std::size_t>(count));
            return ports;
        }
        ports.resize(static_cast<std::size_t>(count) + 4);
    }
}

nlohmann::json toJson(const CorvexLinkPortInfo &p) {
    nlohmann::json entry = {{"device", p.device},
                            {"stable_name", p.stableName},
                            {"driver", p.driver},
                            {"usb", p.usb != 0}};
    entry["port"] = p.port > 0 ? nlohmann::json(p.port) : nlohmann::json(nullptr);
    if (p.usb) {
        char id[10];
        std::snprintf(id, sizeof id, "%04x", static_cast<unsigned>(p.vendorId));
        entry["vendor_id"] = id;
        std::snprintf(id, sizeof id, "%04x", static_cast<unsigned>(p.productId));
        entry["product_id"] = id;
        entry["manufacturer"] = p.manufacturer;
        entry["product"] = p.product;
        entry["serial_number"] = p.serialNumber;
    }
    return entry;
}

// "COM4  /dev/ttyUSB0  example_uart  USB f00d:0a1b Acme Wire Line Cable, serial A1B2C3"
// and the stable name on a line of its own below.
std::string toText(const CorvexLinkPortInfo &p) {
    std::string line = p.port > 0 ? "COM" + std::to_string(p.port) : "-";
    line.resize(std::max<std::size_t>(line.size() + 1, 7), ' ');
    line += p.device;
    if (p.driver[0]) line += std::string("  ") + p.driver;
    if (p.usb) {
        char id[32];
        std::snprintf(id, sizeof id, "  USB %04x:%04x", static_cast<unsigned>(p.vendorId),
                      static_cast<unsigned>(p.productId));
        line += id;
        if (p.manufacturer[0]) line += std::string(" ") + p.manufacturer;
        if (p.product[0]) line += std::string(" ") + p.product;
        if (p.serialNumber[0]) line += std::string(", serial ") + p.serialNumber;
    }
    if (p.stableName[0]) line += std::string("\n       ") + p.stableName;
    return line;
}

}  // namespace

void addPortsCommand(CLI::App &app, CommandTable &table) {
    auto *ports =
        addCommand(app, "ports", "List the serial devices of this machine and their COM numbers");
    table.push_back({ports, "ports", [](Session &s) {
                         const auto found = listPorts();
                         nlohmann::json list = nlohmann::json::array();
                         std::string text;
                         for (const auto &p : found) {
                             list.push_back(toJson(p));
                             text += (text.empty() ? "" : "\n") + toText(p);
                         }
                         s.out().result("ports", {{"ports", list}},
                                        found.empty() ? "no serial devices found" : text);
                     }});
}

}  // namespace corvexctl
