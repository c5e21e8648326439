// SPDX-License-Identifier: MIT
// The COM<n> resolver: the ports.conf parser with its malformed-line reports, the order of
// environment, user file, system file and the ttyS fallback, and the way back from a
// device to its port number.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include "CorvexLink.h"
#include "platform/diagnostics.h"
#include "platform/posix/port_names_posix.h"
#include "system_paths.h"
#include "temp_tree.h"
#include "unprivileged.h"

using corvex::platform::PortMapping;
using corvex::platform::posix::parsePortsConf;
using corvex::platform::posix::portNumberIn;
using corvex::platform::posix::portsConfFiles;
using corvex::platform::posix::resolvePortIn;
using corvex::test::runUnprivileged;
using corvex::test::setSystemPortsConf;
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
        setSystemPortsConf(t.path("etc/corvexlink/ports.conf"));
        corvex::platform::setDiagnosticsSink([this](const std::string &line) {
            std::lock_guard<std::mutex> lock(m_);
            lines_.push_back(line);
        });
    }
    void TearDown() override {
        corvex::platform::setDiagnosticsSink({});
        setSystemPortsConf("");
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

TEST_F(PortNames, NetworkNamesAreDevicesToo) {
    const auto entries = parsePortsConf("COM1 = rfc2217://lab-pi:4001\n"
                                        "COM2 = tcp://[::1]:4002   # the bench\n"
                                        "COM3 = tcp:/lab-pi:4003\n",
                                        "net.conf");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].device, "rfc2217://lab-pi:4001");
    EXPECT_EQ(entries[1].device, "tcp://[::1]:4002");
    // Not a network name, and no path: reported as any other bad line.
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_NE(lines()[0].find("net.conf:3: "), std::string::npos);
    // A malformed network name is kept: the open says what is wrong with it.
    EXPECT_EQ(parsePortsConf("COM4 = rfc2217://lab-pi\n", "net.conf").size(), 1u);
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

// Resolution of COM1 while the user's ports.conf is something other than a small plain
// file: it must come back at once with the system file's mapping and one line about the
// user's file.
class PortsConfNotAPlainFile : public PortNames {
protected:
    void SetUp() override {
        PortNames::SetUp();
        ::setenv("XDG_CONFIG_HOME", t.path("config").c_str(), 1);
        t.file("etc/corvexlink/ports.conf", "COM1 = /dev/system1\n");
        t.dir("config/corvexlink");
    }
    // Each case of a test may use its own folder: a report is made once per file and reason.
    void useConfigFolder(const std::string &folder) {
        config_ = folder;
        ::setenv("XDG_CONFIG_HOME", t.path(config_).c_str(), 1);
        t.dir(config_ + "/corvexlink");
    }
    std::string userFile() { return t.path(config_ + "/corvexlink/ports.conf"); }
    std::string config_ = "config";

    // Resolves COM1 on another thread; a resolution still running after five seconds (a
    // read that blocks) fails the test, and the FIFO, if there is one, is opened for
    // writing and closed so that the blocked read ends.
    PortMapping resolveBounded() {
        auto pending = std::async(std::launch::async, [this] { return resolve(1); });
        if (pending.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
            ADD_FAILURE() << "resolving COM1 blocked on " << userFile();
            const int fd = ::open(userFile().c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        }
        return pending.get();
    }
};

TEST_F(PortsConfNotAPlainFile, FifoDeviceFolderAndDanglingLinkAreReportedOnceAndSkipped) {
    const struct {
        const char *what;
        std::function<void()> make;
        std::string why;
    } cases[] = {
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(userFile().c_str(), 0600), 0); },
         "not a regular file (a FIFO)"},
        {"link to /dev/null", [&] { t.link(config_ + "/corvexlink/ports.conf", "/dev/null"); },
         "not a regular file (a character device)"},
        {"folder", [&] { t.dir(config_ + "/corvexlink/ports.conf"); },
         "not a regular file (a folder)"},
        {"dangling link", [&] { t.link(config_ + "/corvexlink/ports.conf", "nowhere.conf"); },
         "a symbolic link to nothing"},
        // Last: a reader without a bound would fill the memory from it.
        {"link to /dev/zero", [&] { t.link(config_ + "/corvexlink/ports.conf", "/dev/zero"); },
         "not a regular file (a character device)"},
    };
    int index = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        useConfigFolder("config" + std::to_string(index++));
        c.make();
        const std::size_t before = lines().size();
        for (int round = 0; round < 2; ++round) {  // every open reads again: one report
            const PortMapping m = resolveBounded();
            EXPECT_EQ(m.device, "/dev/system1");
            EXPECT_EQ(m.source, t.path("etc/corvexlink/ports.conf") + ":1");
        }
        const auto all = lines();
        const std::vector<std::string> reported(all.begin() + static_cast<long>(before), all.end());
        EXPECT_EQ(reported, std::vector<std::string>{"CorvexLink: " + userFile() + ": " + c.why +
                                                     ", file skipped\n"});
    }
}

TEST_F(PortsConfNotAPlainFile, AFileOverTheSizeBoundIsReportedAndSkipped) {
    // The bound is 64 KiB: a file of exactly that size is read, one byte more is not.
    const std::string entry = "COM1 = /dev/user1\n";
    std::string text = entry + std::string(65536 - entry.size() - 1, '#') + "\n";
    ASSERT_EQ(text.size(), 65536u);
    t.file("config/corvexlink/ports.conf", text);
    EXPECT_EQ(resolveBounded().device, "/dev/user1");
    EXPECT_TRUE(lines().empty());

    t.file("config/corvexlink/ports.conf", text + "\n");
    EXPECT_EQ(resolveBounded().device, "/dev/system1");
    EXPECT_EQ(resolveBounded().device, "/dev/system1");
    const auto all = lines();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0], "CorvexLink: " + userFile() +
                          ": larger than 65536 bytes (65537 bytes), file skipped\n");
}

TEST_F(PortsConfNotAPlainFile, AFileThatCannotBeReadIsReportedAndSkipped) {
    t.file("config/corvexlink/ports.conf", "COM1 = /dev/user1\n");
    ASSERT_EQ(::chmod(userFile().c_str(), 0), 0);
    // The tree must be passable for the unprivileged child (only the file is closed).
    for (const char *dir : {"", "config", "config/corvexlink", "etc", "etc/corvexlink"})
        ::chmod(t.path(dir).c_str(), 0755);
    ::chmod(t.path("etc/corvexlink/ports.conf").c_str(), 0644);
    const int result = runUnprivileged([&] {
        std::vector<std::string> seen;
        corvex::platform::setDiagnosticsSink(
            [&](const std::string &line) { seen.push_back(line); });
        const bool mapped = resolve(1).device == "/dev/system1";
        resolve(1);
        const std::string expected =
            "CorvexLink: " + userFile() + ": cannot be read (Permission denied), file skipped\n";
        return (mapped ? 0 : 1) | (seen == std::vector<std::string>{expected} ? 0 : 2);
    });
    EXPECT_EQ(result, 0) << "1: not skipped, 2: not reported exactly once";
}

TEST_F(PortsConfNotAPlainFile, PortDeviceExportDoesNotBlockOnAFifo) {
    ASSERT_EQ(::mkfifo(userFile().c_str(), 0600), 0);
    auto pending = std::async(std::launch::async, [] {
        char device[64] = "";
        return PortDevice(1, device, sizeof device) == 1 ? std::string(device) : std::string();
    });
    if (pending.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
        ADD_FAILURE() << "PortDevice blocked on " << userFile();
        const int fd = ::open(userFile().c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    // PortDevice resolves against the real /dev; the mapping comes from the system file.
    EXPECT_EQ(pending.get(), "/dev/system1");
}

}  // namespace
