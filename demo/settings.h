// SPDX-License-Identifier: MIT
// What the program remembers between runs, in one settings file in the user's configuration
// folder: the port and rate last opened, each motor's move values, step mode, home seek,
// jog speed, absolute target and "Live" switch, the requested winding currents, where the
// main window and each motor's window stood, and the folder of the last profile file.
// Reading fills the program's state and its windows' fields only: nothing is sent to a
// station until the operator acts. A file that cannot be read, or that holds a value the
// program never writes, is reported once and ignored.
#pragma once

#include <array>

#include <QString>

namespace demo {

// <configuration folder>/corvexlink/DemoCorvexLink.conf ($XDG_CONFIG_HOME or ~/.config).
QString settingsPath();

// Start-up, before any window is built: reads the file into program(): the motors' move
// values, their mode values (the step mode and home seek the operator left), the requested
// currents and program().remembered. A missing file leaves every start-up value. A file
// that cannot be read, or is damaged, is ignored as a whole; a damaged one is set aside as
// "<file>.damaged", so that it is reported once and the next start writes a sound one.
// The problem waits for reportSettingsProblem().
void restoreSettings();

// Shows the problem restoreSettings() found, if any, in one error box; once.
void reportSettingsProblem();

// Writes what the program remembers now. A file that could not be read at start-up is left
// alone; a failed write is reported once per run.
void saveSettings();

// Keeps the library's port and rate (a successful open or rate change) for the next run,
// when the port dialog offers them, and writes the settings.
void rememberPortAndRate();

// The port and rate the port dialog offers, in its item order.
inline constexpr int kDialogPorts = 4;
inline constexpr std::array<int, 5> kDialogRates{9600, 19200, 38400, 57600, 115200};

// Brings every remembered value back to its start-up value (the motors' move values and
// mode values, the requested currents, the window fields and places, the port and rate)
// and removes the file.
void restoreDefaultSettings();

}  // namespace demo
