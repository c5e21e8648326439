// SPDX-License-Identifier: MIT
// Opening a device by name: a logical port number leads through the port-name resolver, a
// network name to a network line, anything else to a local device.
#include "serial_device.h"

#include <cctype>
#include <climits>

#include "network_line.h"
#include "network_name.h"

namespace corvex::platform {

namespace {

// Longest name taken: longer than any device path or network name a person writes, and
// short enough to go whole into the caller's result.
constexpr std::size_t kMaxNameLength = 500;

// The decimal number that makes up all of `digits`, or 0 (none, or above INT_MAX).
int wholeNumber(const std::string &digits) {
    if (digits.empty() || digits.size() > 9) return 0;
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool hasControlCharacter(const std::string &name) {
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

void OpenFailure::set(OpenFailureKind k, std::string d, const char *r) {
    kind = k;
    device = std::move(d);
    reason = r;
}

int portNumberInName(const std::string &name) {
    if (name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(name[2])) == 'M')
        return wholeNumber(name.substr(3));
    return wholeNumber(name);
}

std::unique_ptr<SerialDevice> openNamedDevice(const std::string &name, OpenFailure &failure) {
    if (name.empty() || name.size() > kMaxNameLength || hasControlCharacter(name)) {
        failure.set(OpenFailureKind::MalformedName, name.substr(0, 40),
                    name.empty() ? "no device named"
                                 : "not a device name (too long, or with control characters)");
        return nullptr;
    }
    if (isNetworkName(name)) return openNetworkLine(name, failure);
    if (const int port = portNumberInName(name); port > 0) {
        const std::string path = resolvePortName(port);
        if (path.empty()) {
            failure.set(OpenFailureKind::NoDevice, {},
                        "COM" + std::to_string(port) + " names no device");
            return nullptr;
        }
        // COM<n> may lead to a network name (CORVEXLINK_COM<n>, ports.conf).
        if (isNetworkName(path)) return openNetworkLine(path, failure);
        return openLocalDevice(path, failure);
    }
    return openLocalDevice(name, failure);
}

std::unique_ptr<SerialDevice> openSerialDevice(int port, OpenFailure &failure) {
    if (port < 1) {
        failure.set(OpenFailureKind::NoDevice, {},
                    "COM" + std::to_string(port) + " names no device");
        return nullptr;
    }
    return openNamedDevice("COM" + std::to_string(port), failure);
}

std::unique_ptr<SerialDevice> openSerialDevice(int port, std::string *failure) {
    OpenFailure why;
    std::unique_ptr<SerialDevice> device = openSerialDevice(port, why);
    if (!device && failure != nullptr) *failure = why.text();
    return device;
}

}  // namespace corvex::platform
