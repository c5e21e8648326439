// SPDX-License-Identifier: MIT
// Opens COM1 (pointed at a simulator by the caller) and leaves through the end of main
// with the port still open, so the library's unload has to close it.
//   exit_with_open_port open        PortOpen, no GUI in the process
//   exit_with_open_port configure   PortConfigure without a QApplication (no dialog)
//   exit_with_open_port open-qt     PortOpen while a QApplication lives in main
// Prints the result of the open; exits 0 when the port was open, 2 otherwise.
#include <cstdio>
#include <cstring>
#include <memory>

#include <QApplication>

#include "CorvexLink.h"

int main(int argc, char **argv) {
    const char *mode = argc > 1 ? argv[1] : "open";
    std::unique_ptr<QApplication> app;
    if (std::strcmp(mode, "open-qt") == 0) app = std::make_unique<QApplication>(argc, argv);

    const int result = std::strcmp(mode, "configure") == 0 ? PortConfigure() : PortOpen(1, 9600);
    std::printf("%d %d\n", result, ZelmarGetBaudRate());
    std::fflush(stdout);
    return result == 1 ? 0 : 2;
}
