// SPDX-License-Identifier: MIT
// Listing the serial devices from a fake sysfs and /dev tree laid out as the kernel lays
// them out: USB adapters with and without a by-id link, on-board UARTs behind serial-core's
// port devices, placeholder UART slots, virtual terminals and entries that cannot be read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "CorvexLink.h"
#include "platform/posix/port_list_posix.h"
#include "platform/posix/port_names_posix.h"
#include "system_paths.h"
#include "temp_tree.h"

using corvex::platform::SerialPortInfo;
using corvex::platform::posix::listSerialPortsIn;
using corvex::test::TempTree;

namespace {

const char *kUsbDevice = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
const char *kAcmDevice = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-3";

// A machine with a USB adapter behind a usb-serial port device (by-id link present), a
// modem-class adapter (no by-id link, no serial number), an on-board UART, a second one at
// ttyS10, a placeholder UART slot and a virtual terminal.
class FakeMachine : public ::testing::Test {
protected:
    void SetUp() override {
        // USB adapter: USB device, its interface, the usb-serial port device, the tty.
        t.file(std::string(kUsbDevice) + "/idVendor", "f00d\n");
        t.file(std::string(kUsbDevice) + "/idProduct", "0a1b\n");
        t.file(std::string(kUsbDevice) + "/manufacturer", "Acme Wire\n");
        t.file(std::string(kUsbDevice) + "/product", "Line Cable\n");
        t.file(std::string(kUsbDevice) + "/serial", "A1B2C3\n");
        const std::string port = std::string(kUsbDevice) + "/1-2:1.0/ttyUSB0";
        t.dir(port);
        t.dir("sys/bus/usb-serial/drivers/example_uart");
        t.link(port + "/driver", "../../../../../../../bus/usb-serial/drivers/example_uart");
        t.dir("sys/class/tty/ttyUSB0");
        t.link("sys/class/tty/ttyUSB0/device",
               "../../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0");
        t.link("dev/serial/by-id/usb-Acme_Wire_Line_Cable_A1B2C3-if00-port0", "../../ttyUSB0");

        // Modem-class adapter: the tty's device is the USB interface itself.
        t.file(std::string(kAcmDevice) + "/idVendor", "beef\n");
        t.file(std::string(kAcmDevice) + "/idProduct", "0002\n");
        t.file(std::string(kAcmDevice) + "/product", "Bench Probe\n");
        t.dir("sys/bus/usb/drivers/cdc_acm");
        t.dir(std::string(kAcmDevice) + "/1-3:1.0");
        t.link(std::string(kAcmDevice) + "/1-3:1.0/driver",
               "../../../../../../bus/usb/drivers/cdc_acm");
        t.dir("sys/class/tty/ttyACM0");
        t.link("sys/class/tty/ttyACM0/device",
               "../../../devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0");

        // On-board UART: the firmware device with the UART driver, then serial-core's
        // controller and port devices.
        t.dir("sys/bus/pnp/drivers/serial");
        t.dir("sys/bus/serial-base/drivers/ctrl");
        t.dir("sys/bus/serial-base/drivers/port");
        t.dir("sys/devices/pnp0/00:04/00:04:0/00:04:0.0");
        t.link("sys/devices/pnp0/00:04/driver", "../../../bus/pnp/drivers/serial");
        t.link("sys/devices/pnp0/00:04/00:04:0/driver", "../../../../bus/serial-base/drivers/ctrl");
        t.link("sys/devices/pnp0/00:04/00:04:0/subsystem", "../../../../bus/serial-base");
        t.link("sys/devices/pnp0/00:04/00:04:0/00:04:0.0/driver",
               "../../../../../bus/serial-base/drivers/port");
        t.link("sys/devices/pnp0/00:04/00:04:0/00:04:0.0/subsystem",
               "../../../../../bus/serial-base");
        t.file("sys/class/tty/ttyS0/type", "4\n");
        t.link("sys/class/tty/ttyS0/device", "../../../devices/pnp0/00:04/00:04:0/00:04:0.0");

        // A UART the platform driver found at ttyS10, and an empty slot at ttyS1.
        t.dir("sys/bus/platform/drivers/serial8250");
        t.dir("sys/devices/platform/serial8250");
        t.link("sys/devices/platform/serial8250/driver",
               "../../../bus/platform/drivers/serial8250");
        t.file("sys/class/tty/ttyS10/type", "4\n");
        t.link("sys/class/tty/ttyS10/device", "../../../devices/platform/serial8250");
        t.file("sys/class/tty/ttyS1/type", "0\n");
        t.link("sys/class/tty/ttyS1/device", "../../../devices/platform/serial8250");

        // A virtual terminal has no device link.
        t.file("sys/class/tty/tty0/dev", "4:0\n");
    }

    std::vector<SerialPortInfo> list() { return listSerialPortsIn(t.path("sys"), t.path("dev")); }

    TempTree t;
};

std::vector<std::string> devices(const std::vector<SerialPortInfo> &ports) {
    std::vector<std::string> names;
    for (const auto &p : ports) names.push_back(p.device.substr(p.device.rfind('/') + 1));
    return names;
}

TEST_F(FakeMachine, ListsRealPortsInNaturalOrderAndSkipsSlotsAndTerminals) {
    EXPECT_EQ(devices(list()), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS10", "ttyUSB0"}));
}

TEST_F(FakeMachine, UsbAdapterWithStableName) {
    const auto ports = list();
    ASSERT_EQ(ports.size(), 4u);
    const SerialPortInfo &usb = ports[3];
    EXPECT_EQ(usb.device, t.path("dev/ttyUSB0"));
    EXPECT_EQ(usb.stableName,
              t.path("dev/serial/by-id/usb-Acme_Wire_Line_Cable_A1B2C3-if00-port0"));
    EXPECT_EQ(usb.driver, "example_uart");
    EXPECT_TRUE(usb.usb);
    EXPECT_EQ(usb.vendorId, 0xf00d);
    EXPECT_EQ(usb.productId, 0x0a1b);
    EXPECT_EQ(usb.manufacturer, "Acme Wire");
    EXPECT_EQ(usb.product, "Line Cable");
    EXPECT_EQ(usb.serialNumber, "A1B2C3");
}

TEST_F(FakeMachine, UsbAdapterWithoutStableNameOrSerialNumber) {
    const SerialPortInfo acm = list()[0];
    EXPECT_EQ(acm.stableName, "");
    EXPECT_EQ(acm.driver, "cdc_acm");
    EXPECT_TRUE(acm.usb);
    EXPECT_EQ(acm.vendorId, 0xbeef);
    EXPECT_EQ(acm.productId, 0x0002);
    EXPECT_EQ(acm.manufacturer, "");
    EXPECT_EQ(acm.product, "Bench Probe");
    EXPECT_EQ(acm.serialNumber, "");
}

TEST_F(FakeMachine, OnBoardUartsNameTheUartDriverNotSerialCoreLayers) {
    const auto ports = list();
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[1].driver, "serial");
    EXPECT_FALSE(ports[1].usb);
    EXPECT_EQ(ports[1].vendorId, 0);
    EXPECT_EQ(ports[1].stableName, "");
    EXPECT_EQ(ports[2].driver, "serial8250");
}

TEST_F(FakeMachine, UnreadableEntriesAreSkippedOrLeftEmpty) {
    // A tty whose device link leads nowhere, one whose attributes are folders or garbage,
    // and a by-id entry that is a plain file: none of them may stop the listing.
    t.dir("sys/class/tty/ttyUSB1");
    t.link("sys/class/tty/ttyUSB1/device", "../../../devices/gone/ttyUSB1");
    const std::string bad = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-4";
    t.dir(bad + "/manufacturer");
    t.file(bad + "/idVendor", "f00d\n");
    t.file(bad + "/idProduct", "zz\n");
    t.dir(bad + "/1-4:1.0/ttyUSB2/driver");  // a folder where the driver link belongs
    t.dir(bad + "/1-4:1.0/ttyUSB3");
    t.link(bad + "/1-4:1.0/ttyUSB3/driver",
           "../../../../../../../bus/usb-serial/drivers/example_uart");
    t.link("sys/class/tty/ttyUSB2/device",
           "../../../devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/ttyUSB2");
    t.link("sys/class/tty/ttyUSB3/device",
           "../../../devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/ttyUSB3");
    std::filesystem::remove(t.path("sys/class/tty/ttyS0/type"));
    t.dir("sys/class/tty/ttyS0/type");  // a type that cannot be read: the port stays listed
    t.file("dev/serial/by-id/not-a-link", "x");
    t.link("dev/serial/by-id/dangling", "../../ttyUSB9");

    const auto ports = list();
    EXPECT_EQ(devices(ports),
              (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS10", "ttyUSB0", "ttyUSB3"}));
    const SerialPortInfo &odd = ports.back();
    EXPECT_EQ(odd.driver, "example_uart");
    EXPECT_TRUE(odd.usb);
    EXPECT_EQ(odd.vendorId, 0xf00d);
    EXPECT_EQ(odd.productId, 0);
    EXPECT_EQ(odd.manufacturer, "");
    EXPECT_EQ(ports[3].stableName,
              t.path("dev/serial/by-id/usb-Acme_Wire_Line_Cable_A1B2C3-if00-port0"));
}

// The export over the same tree, with port numbers from a ports.conf and the ttyS fallback.
class PortListExport : public FakeMachine {
protected:
    void SetUp() override {
        FakeMachine::SetUp();
        if (const char *xdg = std::getenv("XDG_CONFIG_HOME")) savedXdg_ = xdg;
        ::setenv("XDG_CONFIG_HOME", t.path("config").c_str(), 1);
        ::unsetenv("CORVEXLINK_COM1");
        corvex::test::setSystemPortsConf(t.path("etc/ports.conf"));
        corvex::test::setRoots(t.path("sys"), t.path("dev"));
        t.file("config/corvexlink/ports.conf",
               "COM4 = " + t.path("dev/serial/by-id/usb-Acme_Wire_Line_Cable_A1B2C3-if00-port0") +
                   "\n");
        for (const char *node : {"ttyACM0", "ttyS0", "ttyS10", "ttyUSB0"})
            t.file(std::string("dev/") + node, "");
    }
    void TearDown() override {
        corvex::test::setRoots("", "");
        corvex::test::setSystemPortsConf("");
        if (savedXdg_.empty())
            ::unsetenv("XDG_CONFIG_HOME");
        else
            ::setenv("XDG_CONFIG_HOME", savedXdg_.c_str(), 1);
    }
    std::string savedXdg_;
};

TEST_F(PortListExport, CountsFillsAndNamesThePortNumbers) {
    EXPECT_EQ(PortList(nullptr, 0), 4);
    EXPECT_EQ(PortList(nullptr, 1), -1);
    CorvexLinkPortInfo one[1];
    EXPECT_EQ(PortList(one, -1), -1);

    // Room for two: two written, the third element untouched, the count still 4.
    CorvexLinkPortInfo ports[3];
    std::memset(ports, 0x5a, sizeof ports);
    ASSERT_EQ(PortList(ports, 2), 4);
    EXPECT_EQ(std::string(ports[0].device), t.path("dev/ttyACM0"));
    EXPECT_EQ(std::string(ports[1].device), t.path("dev/ttyS0"));
    EXPECT_EQ(ports[2].device[0], 0x5a);

    CorvexLinkPortInfo all[4];
    ASSERT_EQ(PortList(all, 4), 4);
    EXPECT_EQ(all[0].port, 0);   // no COM number leads to the modem-class adapter
    EXPECT_EQ(all[1].port, 1);   // ttyS0
    EXPECT_EQ(all[2].port, 11);  // ttyS10
    EXPECT_EQ(all[3].port, 4);   // through the by-id link in ports.conf
    EXPECT_STREQ(all[3].stableName,
                 t.path("dev/serial/by-id/usb-Acme_Wire_Line_Cable_A1B2C3-if00-port0").c_str());
    EXPECT_STREQ(all[3].driver, "example_uart");
    EXPECT_STREQ(all[3].manufacturer, "Acme Wire");
    EXPECT_STREQ(all[3].product, "Line Cable");
    EXPECT_STREQ(all[3].serialNumber, "A1B2C3");
    EXPECT_EQ(all[3].usb, 1);
    EXPECT_EQ(all[3].vendorId, 0xf00d);
    EXPECT_EQ(all[3].productId, 0x0a1b);
    EXPECT_EQ(all[1].usb, 0);
    EXPECT_STREQ(all[1].stableName, "");
}

TEST_F(PortListExport, OverlongTextsAreCutNotOverrun) {
    const std::string longName(1000, 'n');
    t.file(std::string(kUsbDevice) + "/product", longName + "\n");
    CorvexLinkPortInfo all[4];
    ASSERT_EQ(PortList(all, 4), 4);
    EXPECT_EQ(std::strlen(all[3].product), CORVEXLINK_PORT_TEXT_SIZE - 1u);
    EXPECT_STREQ(all[3].serialNumber, "A1B2C3");  // the next field is intact
}

TEST(PortList, MissingTreesGiveAnEmptyList) {
    TempTree t;
    EXPECT_TRUE(listSerialPortsIn(t.path("no-such-sys"), t.path("no-such-dev")).empty());
    t.dir("sys/class");  // no tty folder
    EXPECT_TRUE(listSerialPortsIn(t.path("sys"), t.path("dev")).empty());
}

}  // namespace
