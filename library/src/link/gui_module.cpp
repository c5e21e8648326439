// SPDX-License-Identifier: MIT
#include "gui_module.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "CorvexLink.h"
#include "../platform/diagnostics.h"
#include "../platform/serial_device.h"
#include "../platform/ui_module.h"

namespace corvex::link {
namespace {

struct ModuleState {
    std::mutex mutex;
    bool settled = false;  // loaded, or found missing while the toolkit was there
    platform::UiModuleHooks hooks;
};

ModuleState &moduleState() {
    static ModuleState *s = new ModuleState;  // never destroyed: usable during process exit
    return *s;
}

void diagLine(const char *line) { platform::diag("%s", line); }

int portDeviceName(int port, char *buffer, int size) {
    const std::string device = platform::resolvePortName(port);
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min(device.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, device.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(device.size());
}

// The module's hooks, loading the module on the first call made while the GUI toolkit is
// in the process. A process without the toolkit never loads it (nor, through it, the
// toolkit), and is asked again on the next call, as a program may load the toolkit later.
const platform::UiModuleHooks *moduleHooks() {
    ModuleState &s = moduleState();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.settled) return s.hooks.portDialog ? &s.hooks : nullptr;
    if (!platform::uiToolkitLoaded()) return nullptr;
    s.settled = true;
    static platform::UiModuleCore core;  // the module keeps this table for the life of the process
    core.form2 = &Form2;
    core.diag = diagLine;
    core.portDevice = portDeviceName;
    if (!platform::loadUiModule(core, s.hooks)) {
        s.hooks = platform::UiModuleHooks{};
        return nullptr;
    }
    return &s.hooks;
}

}  // namespace

void guiPumpMessages() {
    const platform::UiModuleHooks *h = moduleHooks();
    if (h && h->pumpMessages) h->pumpMessages();
}

bool guiPortDialog(std::int32_t &port, std::int32_t &baudRate) {
    const platform::UiModuleHooks *h = moduleHooks();
    return h && h->portDialog && h->portDialog(&port, &baudRate);
}

}  // namespace corvex::link
