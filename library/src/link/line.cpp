// SPDX-License-Identifier: MIT
#include "line.h"

#include "gui_module.h"

#include <string>

#include "../platform/diagnostics.h"

namespace corvex::link {

Line::Line(LineSeams seams, std::uint64_t lineId, std::string device)
    : id(lineId), seams_(std::move(seams)), device_(std::move(device)), tag_(device_) {}

Line::~Line() {
    selection.open = false;
    closeDevice();
}

std::string Line::deviceName() const {
    return device_.empty() ? "COM" + std::to_string(selection.port) : device_;
}

bool Line::openDevice(platform::OpenFailure &failure) {
    if (port.isOpen() || port.closing()) return false;
    const std::string name = deviceName();
    std::unique_ptr<platform::SerialDevice> device = seams_.openDevice
                                                         ? seams_.openDevice(name, failure)
                                                         : platform::openNamedDevice(name, failure);
    if (!device) {
        if (failure.device.empty()) failure.device = name;
        // The error state keeps its fixed text; this line names the device and the reason.
        if (failure.reason.empty()) {
        } else if (device_.empty()) {
            platform::diag("CorvexLink: OpenCommPort --> %s: %s\n", name.c_str(),
                           failure.text().c_str());
        } else {
            platform::diag("CorvexLink: OpenCommPort --> %s\n", failure.text().c_str());
        }
        return false;
    }
    if (!port.open(std::move(device), static_cast<std::uint32_t>(selection.lineBaudRate), tag_)) {
        failure.set(platform::OpenFailureKind::Other, name, "the device could not be set up");
        return false;
    }
    return true;
}

int Line::closeDevice() {
    return port.close(seams_.pumpMessages ? seams_.pumpMessages : guiPumpMessages);
}

bool Line::runPortDialog() {
    if (seams_.portDialog) return seams_.portDialog(selection.port, selection.baudRate);
    return guiPortDialog(selection.port, selection.baudRate);
}

}  // namespace corvex::link
