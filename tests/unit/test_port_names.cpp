// SPDX-License-Identifier: MIT
// The COM<n> resolver: the ports.conf parser with its malformed-line reports, the order of
// environment, user file, system file and the ttyS fallback, and the way back from a
// device to its port number.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "CorvexLink.h"
#include "platform/diagnostics.h"
#include "platform/posix/port_names_posix.h"
#include "temp_tree.h"

using corvex::platform::PortMapping;
using corvex::platform::posix::parsePortsConf;
using corvex::platform::posix::portNumberIn;
using corvex::platform::posix::portsConfFiles;
using corvex::platform::posix::resolvePortIn;
using corvex::platform::posix::setSystemPortsConfForTest;
using corvex::test::TempTree;

namespace {

// Captures the diagnostics, and puts the environment and the system file back afterwards.
class PortNames : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "CORVEXLINK_COM1", "CORVEXLINK_COM2",
                                 "CORVEXLINK_COM3", "CORVEXLINK_COM4", "CORVEXLINK_COM7"}) {
            const char *value = std::getenv(name);
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
            ::unsetenv(name);
        }
        ::setenv("HOME", t.path("home").c_str(), 1);
        setSystemPortsConfForTest(t.path("etc/corvexlink/ports.conf"));
        corvex::platform::setDiagnosticsSink([this](const std::string &line) {
            std::lock_guard<std::mutex> lock(m_);
            lines_.push_back(line);
        });
    }
    void TearDown() override {
        corvex::platform::setDiagnosticsSink({});
        setSystemPortsConfForTest("");
        for (const auto &[name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(m_);
        return lines_;
    }
    PortMapping resolve(int port) { return resolvePortIn(port, t.path("dev")); }

    TempTree t;

private:
    std::map<std::string, std::optional<std::string>> saved_;
    std::mutex m_;
    std::vector<std::string> lines_;
};

TEST_F(PortNames, GoodLinesInTheirSpellings) {
    const auto entries =
        parsePortsConf("# the bench\n"
                       "\n"
                       "COM1 = /dev/ttyUSB0\n"
                       "  com2=/dev/serial/by-id/usb-Acme_Wire-if00-port0   # left cable\r\n"
                       "COM12\t=\t/dev/ttyS3\n"
                       "COM3 = /dev/odd#name\n",
                       "good.conf");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].port, 1);
    EXPECT_EQ(entries[0].device, "/dev/ttyUSB0");
    EXPECT_EQ(entries[0].line, 3);
    EXPECT_EQ(entries[1].port, 2);
    EXPECT_EQ(entries[1].device, "/dev/serial/by-id/usb-Acme_Wire-if00-port0");
    EXPECT_EQ(entries[2].port, 12);
    EXPECT_EQ(entries[2].device, "/dev/ttyS3");
    EXPECT_EQ(entries[2].file, "good.conf");
    EXPECT_EQ(entries[3].device, "/dev/odd#name");  // '#' inside a path is not a comment
    EXPECT_TRUE(lines().empty());
}

TEST_F(PortNames, MalformedLinesAreReportedOnceWithFileAndLineAndSkipped) {
    const std::string text = "COM = /dev/ttyUSB0\n"           // 1: no number
                             "COM0 = /dev/ttyUSB0\n"          // 2: port 0
                             "COM4 /dev/ttyUSB0\n"            // 3: no '='
                             "COM5 = ttyUSB0\n"               // 4: not a path
                             "COM6 =\n"                       // 5: nothing
                             "COM99999999999 = /dev/ttyS0\n"  // 6: beyond any port number
                             "PORT7 = /dev/ttyS0\n"           // 7: not COM
                             "COM8 = /dev/ttyUSB1\n"          // 8: good
                             "COM8 = /dev/ttyUSB2\n";         // 9: given twice
    const auto entries = parsePortsConf(text, "/x/bad.conf");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].port, 8);
    EXPECT_EQ(entries[0].device, "/dev/ttyUSB1");

    const auto reported = lines();
    ASSERT_EQ(reported.size(), 8u);
    const int expectedLines[] = {1, 2, 3, 4, 5, 6, 7, 9};
    for (std::size_t i = 0; i < reported.size(); ++i) {
        SCOPED_TRACE(reported[i]);
        const std::string where =
            "CorvexLink: /x/bad.conf:" + std::to_string(expectedLines[i]) + ": ";
        EXPECT_EQ(reported[i].rfind(where, 0), 0u);
        EXPECT_EQ(reported[i].back(), '\n');
    }
    EXPECT_EQ(reported[0], "CorvexLink: /x/bad.conf:1: not \"COM<n> = /path/of/device\", line "
                           "skipped: COM = /dev/ttyUSB0\n");
    EXPECT_EQ(reported[7], "CorvexLink: /x/bad.conf:9: COM8 is already given on line 8, line "
                           "skipped: COM8 = /dev/ttyUSB2\n");

    // Read again (every open reads the files): nothing new. An edited line is news.
    parsePortsConf(text, "/x/bad.conf");
    EXPECT_EQ(lines().size(), 8u);
    parsePortsConf("COM = /dev/ttyUSB9\n", "/x/bad.conf");
    EXPECT_EQ(lines().size(), 9u);
}

TEST_F(PortNames, EnvironmentThenUserFileThenSystemFileThenTtyS) {
    ::setenv("XDG_CONFIG_HOME", t.path("config").c_str(), 1);
    t.file("config/corvexlink/ports.conf", "COM2 = /dev/user2\nCOM4 = /dev/user4\n");
    t.file("etc/corvexlink/ports.conf",
           "COM1 = /dev/system1\nCOM3 = /dev/system3\nCOM4 = /dev/system4\n");
    ::setenv("CORVEXLINK_COM1", "/dev/env1", 1);
    ::setenv("CORVEXLINK_COM2", "", 1);  // empty: as if unset

    const struct {
        int port;
        std::string device, source;
    } expected[] = {
        {1, "/dev/env1", "CORVEXLINK_COM1"},
        {2, "/dev/user2", t.path("config/corvexlink/ports.conf") + ":1"},
        {3, "/dev/system3", t.path("etc/corvexlink/ports.conf") + ":2"},
        {4, "/dev/user4", t.path("config/corvexlink/ports.conf") + ":2"},
        {5, t.path("dev/ttyS4"), "default"},
    };
    for (const auto &e : expected) {
        SCOPED_TRACE(e.port);
        const PortMapping m = resolve(e.port);
        EXPECT_EQ(m.port, e.port);
        EXPECT_EQ(m.device, e.device);
        EXPECT_EQ(m.source, e.source);
    }
    for (int port : {0, -1}) EXPECT_EQ(resolve(port).device, "");
}

TEST_F(PortNames, UserFileLocation) {
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(portsConfFiles(), (std::vector<std::string>{"/cfg/corvexlink/ports.conf",
                                                          t.path("etc/corvexlink/ports.conf")}));
    // Unset, or relative (which the base-directory rules call invalid): under ~/.config.
    for (const char *value : {static_cast<const char *>(nullptr), "relative/cfg"}) {
        if (value)
            ::setenv("XDG_CONFIG_HOME", value, 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(portsConfFiles().front(), t.path("home") + "/.config/corvexlink/ports.conf");
    }
    ::unsetenv("HOME");
    EXPECT_EQ(portsConfFiles(), std::vector<std::string>{t.path("etc/corvexlink/ports.conf")});

    // The home folder's file is read when XDG_CONFIG_HOME is unset.
    ::setenv("HOME", t.path("home").c_str(), 1);
    t.file("home/.config/corvexlink/ports.conf", "COM9 = /dev/home9\n");
    EXPECT_EQ(resolve(9).device, "/dev/home9");
}

TEST_F(PortNames, MalformedLinesInTheFilesDoNotHideTheGoodOnes) {
    ::setenv("XDG_CONFIG_HOME", t.path("config").c_str(), 1);
    t.file("config/corvexlink/ports.conf", "COM2 /dev/user2\n");
    t.file("etc/corvexlink/ports.conf", "COM2 = /dev/system2\n");
    EXPECT_EQ(resolve(2).device, "/dev/system2");
    EXPECT_EQ(resolve(2).device, "/dev/system2");
    const auto reported = lines();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find(t.path("config/corvexlink/ports.conf") + ":1: "), std::string::npos);
}

TEST_F(PortNames, PortDeviceExport) {
    ::setenv("XDG_CONFIG_HOME", t.path("config").c_str(), 1);
    t.file("config/corvexlink/ports.conf", "COM2 = /dev/serial/by-id/usb-Acme-if00-port0\n");
    char device[64];
    ASSERT_EQ(PortDevice(2, device, sizeof device), 1);
    EXPECT_STREQ(device, "/dev/serial/by-id/usb-Acme-if00-port0");
    ASSERT_EQ(PortDevice(3, device, sizeof device), 1);
    EXPECT_STREQ(device, "/dev/ttyS2");

    // Exactly fitting, one byte short (nothing written), bad arguments.
    char exact[11];
    EXPECT_EQ(PortDevice(3, exact, sizeof exact), 1);
    EXPECT_STREQ(exact, "/dev/ttyS2");
    std::memset(exact, 'x', sizeof exact);
    EXPECT_EQ(PortDevice(3, exact, 10), -1);
    EXPECT_EQ(exact[0], 'x');
    EXPECT_EQ(PortDevice(0, device, sizeof device), -1);
    EXPECT_EQ(PortDevice(1, nullptr, 64), -1);
    EXPECT_EQ(PortDevice(1, device, 0), -1);
}

TEST_F(PortNames, DeviceBackToItsPortNumber) {
    ::setenv("XDG_CONFIG_HOME", t.path("config").c_str(), 1);
    t.file("dev/ttyS0", "");
    t.file("dev/ttyS1", "");
    t.file("dev/ttyUSB0", "");
    t.file("dev/ttyUSB1", "");
    t.link("dev/serial/by-id/usb-Acme-if00-port0", "../../ttyUSB0");
    t.file("config/corvexlink/ports.conf",
           "COM7 = " + t.path("dev/serial/by-id/usb-Acme-if00-port0") +
               "\n"
               "COM2 = " +
               t.path("dev/ttyUSB1") + "\n");

    EXPECT_EQ(portNumberIn(t.path("dev/ttyUSB0"), t.path("dev")), 7);  // through the by-id link
    EXPECT_EQ(portNumberIn(t.path("dev/ttyUSB1"), t.path("dev")), 2);
    EXPECT_EQ(portNumberIn(t.path("dev/ttyS0"), t.path("dev")), 1);   // the fallback
    EXPECT_EQ(portNumberIn(t.path("dev/ttyS1"), t.path("dev")), 0);   // COM2 leads elsewhere
    EXPECT_EQ(portNumberIn(t.path("dev/ttyS9"), t.path("dev")), 10);  // fallback, even if absent

    // The environment comes first, and the smallest number wins.
    ::setenv("CORVEXLINK_COM1", t.path("dev/ttyUSB0").c_str(), 1);
    EXPECT_EQ(portNumberIn(t.path("dev/ttyUSB0"), t.path("dev")), 1);
    EXPECT_EQ(portNumberIn(t.path("dev/ttyS0"), t.path("dev")), 0);
    EXPECT_EQ(portNumberIn(t.path("dev/nothing"), t.path("dev")), 0);
}

}  // namespace
