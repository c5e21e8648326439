// SPDX-License-Identifier: MIT
// Why a port did not open: the platform names the device and the system's reason (no
// such device, not a serial device, permission denied with what to do about it, in use by
// another program), while PortOpen keeps its error number and text.
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "../unit/unprivileged.h"
#include "link_fixture.h"
#include "platform/serial_device.h"

using corvex::platform::openSerialDevice;
using corvex::test::runUnprivileged;

namespace {

class OpenFailure : public LinkTest {
protected:
    OpenFailure() : LinkTest({0}, false) {}

    // The reason the platform gives for COM2 leading to `device`, after PortOpen has failed
    // with its error number and text.
    // The failed open also leaves one diagnostics line with that reason.
    std::string reasonFor(const std::string &device) {
        ::setenv("CORVEXLINK_COM2", device.c_str(), 1);
        clearDiagnostics();
        EXPECT_EQ(PortOpen(2, 9600), -1);
        EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
        EXPECT_STREQ(ZelmarGetErrorMessage(), "Unable to open COM port");
        std::string failure;
        EXPECT_EQ(openSerialDevice(2, &failure), nullptr);
        EXPECT_EQ(countDiagnostics("CorvexLink: OpenCommPort --> COM2: " + failure + "\n"), 1)
            << failure;
        return failure;
    }
};

TEST_F(OpenFailure, NoSuchDeviceAndNotASerialDevice) {
    EXPECT_EQ(reasonFor("/nonexistent/ttyUSB7"), "/nonexistent/ttyUSB7: no such device");
    EXPECT_EQ(reasonFor("/dev/null"), "/dev/null: not a serial device");
    std::string failure;
    EXPECT_EQ(openSerialDevice(0, &failure), nullptr);
    EXPECT_EQ(failure, "COM0 names no device");
}

TEST_F(OpenFailure, InUseByAnotherProgram) {
    ASSERT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
    const std::string slave = sim().slavePath();
    // Another opener: the lock taken by the open keeps it out, root or not.
    std::string failure;
    EXPECT_EQ(openSerialDevice(1, &failure), nullptr);
    EXPECT_EQ(failure, slave + ": in use by another program");
    ASSERT_EQ(::chmod(slave.c_str(), 0666), 0);
    const int result = runUnprivileged([&] {
        std::string why;
        return openSerialDevice(1, &why) == nullptr && why == slave + ": in use by another program"
                   ? 0
                   : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(PortClose(), 1);
}

TEST_F(OpenFailure, PermissionDeniedSaysWhatToDo) {
    const std::string slave = sim().slavePath();
    ASSERT_EQ(::chmod(slave.c_str(), 0600), 0);
    const int result = runUnprivileged([&] {
        std::string why;
        if (openSerialDevice(1, &why) != nullptr) return 1;
        return why == slave + ": permission denied (add the user to the dialout group, or give "
                              "the adapter a udev rule)"
                   ? 0
                   : 2;
    });
    EXPECT_EQ(result, 0) << "1: opened, 2: another reason";
}

}  // namespace
