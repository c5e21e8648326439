// SPDX-License-Identifier: MIT
// The shared core in a process without Qt: it loads, opens a port through PortConfigure
// (no dialog, the current selection) and scans the simulator's stations, and neither the
// core nor anything it loads brings a Qt library into the process, even with the GUI
// module named in the environment.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "kx4417/simulator.h"

namespace {

// Every line of the process's memory map that names a Qt library.
std::string qtMappings() {
    std::ifstream maps("/proc/self/maps");
    std::string line, found;
    while (std::getline(maps, line))
        if (line.find("libQt") != std::string::npos) found += line + "\n";
    return found;
}

template <typename F>
F symbol(void *core, const char *name) {
    auto f = reinterpret_cast<F>(dlsym(core, name));
    EXPECT_NE(f, nullptr) << name;
    return f;
}

}  // namespace

TEST(HeadlessCore, LoadsOpensThroughPortConfigureAndScansWithoutQt) {
    ASSERT_EQ(qtMappings(), "") << "the test program itself must not link Qt";
    kx4417::SimOptions options;
    options.stations = {0, 2, 5};
    kx4417::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    ::setenv("CORVEXLINK_COM1", sim.slavePath().c_str(), 1);
    ::setenv("CORVEXLINK_UI_MODULE", CORVEXLINK_UI_MODULE_PATH, 1);

    void *core = dlopen(CORVEXLINK_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(core, nullptr) << dlerror();
    EXPECT_EQ(qtMappings(), "") << "loading the core brought Qt in";

    auto portConfigure = symbol<int (*)()>(core, "PortConfigure");
    auto getBaud = symbol<int (*)()>(core, "ZelmarGetBaudRate");
    auto scan = symbol<int (*)(char *)>(core, "GetConnectedControllers");
    auto portClose = symbol<int (*)()>(core, "PortClose");
    ASSERT_TRUE(portConfigure && getBaud && scan && portClose);

    ASSERT_EQ(portConfigure(), 1) << "without a GUI the selection (port 1) opens at once";
    EXPECT_EQ(getBaud(), 9600);
    char list[38] = {};
    EXPECT_EQ(scan(list), 1);
    EXPECT_STREQ(list, "0,N,2,N,N,5,N,N,N,N,N,N,N,N,N,N");
    EXPECT_EQ(portClose(), 1);

    EXPECT_EQ(qtMappings(), "") << "the core loaded Qt (or its GUI module) without a QApplication";
    sim.stop();
}
