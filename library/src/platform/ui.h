// What the library shows to a person: error boxes, the port dialog and the message pump.
// A GUI toolkit (the Qt port dialog unit) installs real implementations when it is built
// in; without them, or when the calling process runs no GUI application, box texts go to
// the diagnostics sink, the pump does nothing and the port dialog is skipped.
#pragma once

#include <functional>

namespace corvex::platform {

struct UiHooks {
    // Shows a modal error box (stop icon, no owner). Returns false when nothing was shown.
    std::function<bool(const char *title, const char *body)> errorBox;
    // Dispatches the calling thread's pending window events.
    std::function<void()> pumpMessages;
    // Shows the port dialog modally; false when no dialog could be shown.
    std::function<bool()> portDialog;
};

void installUiHooks(UiHooks hooks);

void showErrorBox(const char *title, const char *body);
void pumpMessages();
// Runs the port dialog if one can be shown; returns whether it was shown.
bool runPortDialog();

}  // namespace corvex::platform
