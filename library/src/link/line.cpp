// SPDX-License-Identifier: MIT
#include "line.h"

#include "gui_module.h"

#include <string>

#include "../platform/diagnostics.h"

namespace corvex::link {

std::atomic<Line *> Line::instance_{nullptr};  // constant-initialised: readable at any time

Line::Line(LineSeams seams) : seams_(std::move(seams)) {}

Line::~Line() {
    selection.open = false;
    closeDevice();
}

Line &Line::instance() {
    if (Line *line = instance_.load(std::memory_order_acquire)) return *line;
    // Allocated once and never destroyed, so that the close at unload still finds it.
    auto *created = new Line;
    Line *expected = nullptr;
    if (!instance_.compare_exchange_strong(expected, created)) {
        delete created;  // another thread was first
        return *expected;
    }
    return *created;
}

bool Line::openDevice(int portNumber) {
    if (port.isOpen() || port.closing()) return false;
    std::string failure;
    std::unique_ptr<platform::SerialDevice> device =
        seams_.openDevice ? seams_.openDevice(portNumber)
                          : platform::openSerialDevice(portNumber, &failure);
    if (!device) {
        // The error state keeps its fixed text; this line names the device and the reason.
        if (!failure.empty())
            platform::diag("CorvexLink: OpenCommPort --> COM%d: %s\n", portNumber, failure.c_str());
        return false;
    }
    return port.open(std::move(device), static_cast<std::uint32_t>(selection.lineBaudRate));
}

int Line::closeDevice() {
    return port.close(seams_.pumpMessages ? seams_.pumpMessages : guiPumpMessages);
}

bool Line::runPortDialog() {
    if (seams_.portDialog) return seams_.portDialog(selection.port, selection.baudRate);
    return guiPortDialog(selection.port, selection.baudRate);
}

}  // namespace corvex::link
