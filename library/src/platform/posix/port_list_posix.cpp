// SPDX-License-Identifier: MIT
// The serial devices of a Linux machine, read from sysfs: every tty under class/tty that is
// backed by a device with a bound driver, except the placeholder UARTs that the serial core
// registers without hardware behind them (their "type" is 0). USB adapters are recognised
// by the USB device above them in the device tree, whose attributes give the ids and texts;
// the stable name is the /dev/serial/by-id link that leads to the node.
#include "port_list_posix.h"
#include "system_paths_posix.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

namespace corvex::platform {
namespace posix {
namespace {

namespace fs = std::filesystem;

// The file's first line without trailing blanks, or "" when it cannot be read.
std::string readAttribute(const fs::path &file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return {};
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line)) return {};
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// A four-digit hexadecimal USB id, or -1.
long readHexId(const fs::path &file) {
    const std::string text = readAttribute(file);
    if (text.empty() || text.size() > 4) return -1;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 16);
    return *end == '\0' ? value : -1;
}

// The last part of the path a link leads to ("ftdi_sio" for .../drivers/ftdi_sio), or "".
std::string linkName(const fs::path &link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.lexically_normal().filename().string();
}

// Names compared with their digit runs as numbers: ttyS2 before ttyS10.
bool naturalLess(const std::string &a, const std::string &b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
            std::string da = a.substr(i, ie - i), db = b.substr(j, je - j);
            da.erase(0, std::min(da.find_first_not_of('0'), da.size()));
            db.erase(0, std::min(db.find_first_not_of('0'), db.size()));
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// For every by-id link, the kernel name of the node it leads to, first link by name kept.
std::map<std::string, std::string> stableNames(const fs::path &devRoot) {
    std::map<std::string, std::string> byNode;
    const fs::path folder = devRoot / "serial" / "by-id";
    std::error_code ec;
    std::vector<fs::path> links;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        links.push_back(it->path());
    }
    std::sort(links.begin(), links.end());
    for (const fs::path &link : links) {
        std::error_code lec;
        fs::path target = fs::read_symlink(link, lec);
        if (lec) continue;
        if (target.is_relative()) target = link.parent_path() / target;
        byNode.emplace(target.lexically_normal().filename().string(), link.string());
    }
    return byNode;
}

// Fills the USB fields from the first folder above `device` (inside `root`) that carries a
// USB vendor id: the USB device the adapter's interface belongs to.
void readUsbAttributes(const fs::path &root, const fs::path &device, SerialPortInfo &info) {
    const std::string rootText = root.string();
    for (fs::path folder = device; folder.string().size() > rootText.size() &&
                                   folder.string().compare(0, rootText.size(), rootText) == 0;
         folder = folder.parent_path()) {
        const long vendor = readHexId(folder / "idVendor");
        if (vendor < 0) continue;
        info.usb = true;
        info.vendorId = static_cast<std::uint16_t>(vendor);
        const long product = readHexId(folder / "idProduct");
        info.productId = static_cast<std::uint16_t>(product < 0 ? 0 : product);
        info.manufacturer = readAttribute(folder / "manufacturer");
        info.product = readAttribute(folder / "product");
        info.serialNumber = readAttribute(folder / "serial");
        return;
    }
}

}  // namespace

std::vector<SerialPortInfo> listSerialPortsIn(const std::string &sysfsRoot,
                                              const std::string &devRoot) {
    std::vector<SerialPortInfo> ports;
    std::error_code ec;
    const fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec) return ports;
    const std::map<std::string, std::string> byId = stableNames(devRoot);

    for (fs::directory_iterator it(root / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code dec;
        const fs::path device = fs::canonical(it->path() / "device", dec);
        if (dec) continue;  // a virtual terminal, or a link that leads nowhere
        // Newer kernels put serial-core's own port and controller devices (driver "port",
        // "ctrl") between the tty and the UART: the driver worth naming is the UART's.
        fs::path owner = device;
        while (linkName(owner / "subsystem") == "serial-base" && owner.parent_path() != root &&
               owner.has_relative_path()) {
            owner = owner.parent_path();
        }
        const std::string driver = linkName(owner / "driver");
        if (driver.empty()) continue;  // no driver: nothing can open it
        const std::string type = readAttribute(it->path() / "type");
        if (type == "0") continue;  // a UART slot without a UART

        SerialPortInfo info;
        info.device = (fs::path(devRoot) / name).string();
        info.driver = driver;
        if (const auto link = byId.find(name); link != byId.end()) info.stableName = link->second;
        readUsbAttributes(root, device, info);
        ports.push_back(std::move(info));
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo &a, const SerialPortInfo &b) {
        return naturalLess(a.device, b.device);
    });
    return ports;
}

std::string sysfsRoot() { return SystemPathsInUse::get().sysfs; }

std::string devRoot() { return SystemPathsInUse::get().dev; }

}  // namespace posix

std::vector<SerialPortInfo> listSerialPorts() {
    return posix::listSerialPortsIn(posix::sysfsRoot(), posix::devRoot());
}

}  // namespace corvex::platform
