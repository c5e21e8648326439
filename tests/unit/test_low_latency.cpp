// SPDX-License-Identifier: MIT
// The low-latency step: the latency timer of a USB adapter in a fake sysfs tree is set to
// 1 ms and put back, one that is already low or absent is left alone, and on a
// pseudo-terminal (which has no serial driver settings) nothing is applied and the
// diagnostics line says so.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/low_latency_posix.h"
#include "temp_tree.h"

using corvex::platform::posix::LowLatency;
using corvex::test::TempTree;

namespace {

const char *kTimer = "sys/class/tty/ttyUSB0/device/latency_timer";

TEST(LatencyTimer, SetToOneMillisecondAndPutBack) {
    TempTree t;
    t.file(kTimer, "16\n");
    LowLatency step;
    EXPECT_EQ(step.applyLatencyTimer(t.path("sys"), "ttyUSB0"), "16 ms -> 1 ms");
    EXPECT_EQ(t.read(kTimer), "1");
    step.restoreLatencyTimer();
    EXPECT_EQ(t.read(kTimer), "16");
    t.file(kTimer, "3\n");
    step.restoreLatencyTimer();  // only once: a second restore writes nothing
    EXPECT_EQ(t.read(kTimer), "3\n");
}

TEST(LatencyTimer, AlreadyLowAbsentOrUnreadableIsLeftAlone) {
    TempTree t;
    t.file(kTimer, "1\n");
    LowLatency low;
    EXPECT_EQ(low.applyLatencyTimer(t.path("sys"), "ttyUSB0"), "already 1 ms");
    t.file(kTimer, "5\n");
    low.restoreLatencyTimer();
    EXPECT_EQ(t.read(kTimer), "5\n");  // nothing was changed, so nothing is put back

    LowLatency none;
    EXPECT_EQ(none.applyLatencyTimer(t.path("sys"), "ttyS0"), "none");
    EXPECT_EQ(none.applyLatencyTimer(t.path("sys"), ".."), "none");

    t.dir("sys/class/tty/ttyUSB1/device/latency_timer");
    LowLatency folder;
    EXPECT_EQ(folder.applyLatencyTimer(t.path("sys"), "ttyUSB1"), "not applied (Is a directory)");

    t.file("sys/class/tty/ttyUSB2/device/latency_timer", "fast\n");
    LowLatency garbage;
    EXPECT_EQ(garbage.applyLatencyTimer(t.path("sys"), "ttyUSB2"),
              "not applied (unreadable value \"fast\")");
    EXPECT_EQ(t.read("sys/class/tty/ttyUSB2/device/latency_timer"), "fast\n");
}

TEST(LowLatencyStep, RefusedOnAPseudoTerminalWithOneLine) {
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    TempTree t;
    LowLatency step;
    const std::string line = step.apply(slave, name, t.path("sys"));
    EXPECT_EQ(line, std::string("CorvexLink: OpenCommPort --> low latency on ") + name +
                        ": low_latency flag not applied (Inappropriate ioctl for device), latency "
                        "timer none\n");
    step.restore(slave);
    ::close(slave);
    ::close(master);
}

}  // namespace
