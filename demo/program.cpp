// SPDX-License-Identifier: MIT
#include "program.h"

#include <vector>

#include "about_window.h"
#include "adc_window.h"
#include "address_dialog.h"
#include "baud_rate_dialog.h"
#include "current_window.h"
#include "main_window.h"
#include "digital_io_window.h"
#include "motor_window.h"
#include "profile_editor.h"
#include "settings.h"
#include "status_window.h"
#include "stop_keys.h"

namespace demo {
namespace {

std::vector<std::unique_ptr<QWidget>> &ownedWindows() {
    static std::vector<std::unique_ptr<QWidget>> windows;
    return windows;
}

}  // namespace

Program &program() {
    static Program state;
    return state;
}

void resetProgram() {
    auto &windows = ownedWindows();
    while (!windows.empty()) windows.pop_back();  // newest first
    program() = Program{};
}

void adoptWindow(std::unique_ptr<QWidget> window) { ownedWindows().push_back(std::move(window)); }

std::vector<TMtr *> motorWindows() {
    std::vector<TMtr *> found;
    for (const std::unique_ptr<QWidget> &window : ownedWindows())
        if (auto *motor = qobject_cast<TMtr *>(window.get())) found.push_back(motor);
    return found;
}

void createStartupWindows() {
    // The windows fill their fields from the program's state, so the settings come first.
    restoreSettings();
    installStopKeys();
    Windows &w = program().windows;
    createWindow(w.Form1);
    createWindow(w.Form3);
    createWindow(w.Form4);
    createWindow(w.CurrentWin);
    createWindow(w.Mtr[0], 1);
    createWindow(w.Profile);
    createWindow(w.ADC);
    createWindow(w.Form5);
    createWindow(w.Mtr[1], 2);
    createWindow(w.MBAbout);
    createWindow(w.Mtr[2], 3);
    createWindow(w.Mtr[3], 4);
    createWindow(w.Form6);
    for (int m = 5; m <= kMotors; ++m) createWindow(w.Mtr[m - 1], m);
}

}  // namespace demo
