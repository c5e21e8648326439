// SPDX-License-Identifier: MIT
// Finds and loads the GUI module with the dynamic loader: only in a process that already
// has Qt Widgets loaded, so a headless program never pulls a desktop stack in.
#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "../diagnostics.h"
#include "../ui_module.h"

#ifndef CORVEXLINK_INSTALL_LIBDIR
#    define CORVEXLINK_INSTALL_LIBDIR ""
#endif

namespace corvex::platform {
namespace {

// The folder of the file this code was loaded from: the shared core library, or the
// program itself when the core is linked statically.
std::string coreDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&coreDirectory), &info) == 0 || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

bool uiToolkitLoaded() {
    void *widgets = dlopen("libQt6Widgets.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!widgets) return false;
    dlclose(widgets);  // drops only the reference RTLD_NOLOAD took
    return true;
}

bool loadUiModule(const UiModuleCore &core, UiModuleHooks &hooks) {
    // secure_getenv: a privileged (set-user-ID) program never loads a module that its
    // caller's environment names.
    const auto files = uiModuleCandidates(::secure_getenv(kUiModuleEnv), coreDirectory(),
                                          CORVEXLINK_INSTALL_LIBDIR);
    std::string tried;
    for (const std::string &file : files) {
        // The module stays loaded for the life of the process: Qt objects it created may
        // outlive any point at which unloading would be safe.
        void *module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            tried += "\n  " + std::string(dlerror());
            continue;
        }
        auto init = reinterpret_cast<UiModuleInitFn>(dlsym(module, kUiModuleInitSymbol));
        if (init && init(&core, &hooks) == 1) return true;
        diag("CorvexLink: %s is not a matching GUI module\n", file.c_str());
        return false;
    }
    diag("CorvexLink: no GUI module loaded, the port dialog and message boxes are not shown:%s\n",
         tried.c_str());
    return false;
}

}  // namespace corvex::platform
