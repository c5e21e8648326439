// SPDX-License-Identifier: MIT
// What the library shows to a person: error boxes, the port dialog and the message pump.
// In a process that runs a Qt application the optional GUI module (see ui_module.h) is
// loaded on first need and provides real ones; otherwise, or without the module, box texts
// go to the diagnostics sink, the pump does nothing and the port dialog is skipped.
#pragma once

#include <cstdint>
#include <functional>

namespace corvex::platform {

// Replacement hooks, for tests that act at the moments the library shows something or
// pumps events. A hook that is set takes the place of the GUI module's and of the headless
// behaviour; installing an empty set restores them.
struct UiHooks {
    std::function<bool(const char *title, const char *body)> errorBox;
    std::function<void()> pumpMessages;
    std::function<bool(std::int32_t &selectedPort, std::int32_t &selectedBaudRate)> portDialog;
};
void installUiHooks(UiHooks hooks);

void showErrorBox(const char *title, const char *body);
void pumpMessages();
// Runs the port dialog if one can be shown, the dialog writing each choice at once to
// `selectedPort` and `selectedBaudRate`; returns whether it was shown.
bool runPortDialog(std::int32_t &selectedPort, std::int32_t &selectedBaudRate);

}  // namespace corvex::platform
