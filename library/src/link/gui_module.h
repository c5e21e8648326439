// SPDX-License-Identifier: MIT
// The window-system side of the line: in a process that runs a Qt application, the optional
// GUI module (see platform/ui_module.h) is loaded on first need and shows the real port
// dialog and pumps the caller's events during a close. Without it the pump does nothing and
// the port dialog is skipped.
#pragma once

#include <cstdint>

namespace corvex::link {

void guiPumpMessages();
// Runs the port dialog if one can be shown, the dialog writing each choice at once to
// `port` and `baudRate`; returns whether it was shown.
bool guiPortDialog(std::int32_t &port, std::int32_t &baudRate);

}  // namespace corvex::link
