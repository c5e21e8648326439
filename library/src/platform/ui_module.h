// SPDX-License-Identifier: MIT
// The interface between the core library and its optional GUI module (the port dialog and
// the event pump, built with Qt). The module is a separate shared object
// that does not link the core: the core hands it the few pieces of state it needs through
// UiModuleCore, and the module gives back plain function pointers in UiModuleHooks. Both
// tables carry their size, so a module built for another layout refuses to start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvex::platform {

struct UiModuleCore {
    std::uint32_t size = sizeof(UiModuleCore);
    // The exported Form2 variable: the module points it at the dialog while it is shown.
    void **form2 = nullptr;
    // The library's diagnostics sink, for what the module has to report.
    void (*diag)(const char *line) = nullptr;
    // The device a port number opens (copied into `buffer`, cut to `size`), for the port
    // dialog's tooltips; returns the length of the full name.
    int (*portDevice)(int port, char *buffer, int size) = nullptr;
};

struct UiModuleHooks {
    std::uint32_t size = sizeof(UiModuleHooks);
    // Dispatches the calling thread's pending events; nothing on a thread without a GUI.
    void (*pumpMessages)() = nullptr;
    // Shows the port dialog modally; each choice is written at once to the selection. False
    // when the calling thread runs no GUI application.
    bool (*portDialog)(std::int32_t *selectedPort, std::int32_t *selectedBaudRate) = nullptr;
};

// The module's one exported function: fills `hooks` and returns 1, or 0 when the tables
// do not match what the module was built for.
using UiModuleInitFn = int (*)(const UiModuleCore *core, UiModuleHooks *hooks);
inline constexpr const char *kUiModuleInitSymbol = "corvexlink_ui_module_init";

// The module's file name, and the environment variable that names a module file directly
// (used by tests and by programs run from a build tree).
inline constexpr const char *kUiModuleFileName = "corvexlink-qt-ui.so";
inline constexpr const char *kUiModuleSubdir = "corvexlink";
inline constexpr const char *kUiModuleEnv = "CORVEXLINK_UI_MODULE";

// The files tried, in order: the file the environment variable names (alone when set),
// else the module in the "corvexlink" folder beside the core library, then the one in the
// installed library folder. Empty strings are skipped.
std::vector<std::string> uiModuleCandidates(const char *envValue, const std::string &coreDir,
                                            const std::string &installLibDir);

// Loads the GUI module when the process already has the GUI toolkit loaded (a program
// with a QApplication) and initialises it with `core`. Returns whether `hooks` was filled.
// Called at most once per process by the UI hooks; a platform without modules returns
// false and the library stays headless.
bool loadUiModule(const UiModuleCore &core, UiModuleHooks &hooks);

// Whether the GUI toolkit the module is built on is loaded in this process.
bool uiToolkitLoaded();

}  // namespace corvex::platform
