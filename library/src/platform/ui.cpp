// SPDX-License-Identifier: MIT
// The UI hooks of the library: the GUI module's functions when it is loaded, the headless
// fall-backs otherwise.
#include "ui.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "CorvexLink.h"
#include "diagnostics.h"
#include "serial_device.h"
#include "ui_module.h"

namespace corvex::platform {
namespace {

struct ModuleState {
    std::mutex mutex;
    bool settled = false;  // loaded, or found missing while the toolkit was there
    UiModuleHooks hooks;
};

ModuleState &moduleState() {
    static ModuleState *s = new ModuleState;  // never destroyed: usable during process exit
    return *s;
}

void diagLine(const char *line) { diag("%s", line); }

int portDeviceName(int port, char *buffer, int size) {
    const std::string device = resolvePortName(port);
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
const UiModuleHooks *moduleHooks() {
    ModuleState &s = moduleState();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.settled) return s.hooks.portDialog ? &s.hooks : nullptr;
    if (!uiToolkitLoaded()) return nullptr;
    s.settled = true;
    static UiModuleCore core;  // the module keeps this table for the life of the process
    core.form2 = &Form2;
    core.diag = diagLine;
    core.portDevice = portDeviceName;
    if (!loadUiModule(core, s.hooks)) {
        s.hooks = UiModuleHooks{};
        return nullptr;
    }
    return &s.hooks;
}

UiHooks &installedHooks() {
    static UiHooks *h = new UiHooks;
    return *h;
}

}  // namespace

void installUiHooks(UiHooks hooks) { installedHooks() = std::move(hooks); }

void showErrorBox(const char *title, const char *body) {
    if (installedHooks().errorBox && installedHooks().errorBox(title, body)) return;
    const UiModuleHooks *h = moduleHooks();
    if (h && h->errorBox && h->errorBox(title, body)) return;
    // No GUI in this process: the box becomes a diagnostics line.
    diag("%s%s%s\n", title, body[0] ? ": " : "", body);
}

void pumpMessages() {
    if (installedHooks().pumpMessages) return installedHooks().pumpMessages();
    const UiModuleHooks *h = moduleHooks();
    if (h && h->pumpMessages) h->pumpMessages();
}

bool runPortDialog(std::int32_t &selectedPort, std::int32_t &selectedBaudRate) {
    if (installedHooks().portDialog)
        return installedHooks().portDialog(selectedPort, selectedBaudRate);
    const UiModuleHooks *h = moduleHooks();
    return h && h->portDialog && h->portDialog(&selectedPort, &selectedBaudRate);
}

std::vector<std::string> uiModuleCandidates(const char *envValue, const std::string &coreDir,
                                            const std::string &installLibDir) {
    if (envValue && envValue[0]) return {envValue};
    std::vector<std::string> files;
    for (const std::string &dir : {coreDir, installLibDir}) {
        if (dir.empty()) continue;
        std::string file = dir + "/" + kUiModuleSubdir + "/" + kUiModuleFileName;
        bool seen = false;
        for (const std::string &f : files) seen = seen || f == file;
        if (!seen) files.push_back(std::move(file));
    }
    return files;
}

}  // namespace corvex::platform
