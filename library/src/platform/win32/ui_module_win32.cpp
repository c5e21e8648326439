// SPDX-License-Identifier: MIT
// The GUI module on Windows: none is built yet, so the library stays headless there (box
// texts to the diagnostics sink, no port dialog, no pump).
#include "../ui_module.h"

namespace corvex::platform {

bool uiToolkitLoaded() { return false; }

bool loadUiModule(const UiModuleCore &, UiModuleHooks &) { return false; }

}  // namespace corvex::platform
