// SPDX-License-Identifier: MIT
// Opening a port by its number through a ports.conf mapping to the simulator's terminal,
// and the low-latency step on that terminal: refused, reported in one line, open anyway.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link_fixture.h"
#include "platform/posix/port_names_posix.h"
#include "system_paths.h"

namespace {

class PortsConfOpen : public LinkTest {
protected:
    PortsConfOpen() : LinkTest({0, 1}, false) {}

    void SetUp() override {
        LinkTest::SetUp();
        dir_ = std::filesystem::temp_directory_path() /
               ("corvexlink-conf-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "corvexlink");
        if (const char *xdg = std::getenv("XDG_CONFIG_HOME")) savedXdg_ = xdg;
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        corvex::test::setSystemPortsConf((dir_ / "no-system-file").string());
    }
    void TearDown() override {
        LinkTest::TearDown();
        corvex::test::setSystemPortsConf("");
        if (savedXdg_.empty())
            ::unsetenv("XDG_CONFIG_HOME");
        else
            ::setenv("XDG_CONFIG_HOME", savedXdg_.c_str(), 1);
        std::filesystem::remove_all(dir_);
    }
    std::string writeConf(const std::string &text) {
        const auto file = dir_ / "corvexlink" / "ports.conf";
        std::ofstream(file) << text;
        return file.string();
    }

    std::filesystem::path dir_;
    std::string savedXdg_;
};

TEST_F(PortsConfOpen, PortNumberMappedInTheUserFileOpensTheSimulator) {
    const std::string file =
        writeConf("# bench\nCOM 3 = " + sim().slavePath() + "\nCOM3 = " + sim().slavePath() + "\n");
    ASSERT_EQ(PortOpen(3, 9600), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(ZelmarGetPort(), 3);
    EXPECT_EQ(WriteCommandtoKX4417("_1"), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(frames(), std::vector<std::string>{"_1\r"});

    const std::string malformed =
        "CorvexLink: " + file +
        ":2: not \"COM<n> = /path/of/device\", line skipped: COM 3 = " + sim().slavePath() + "\n";
    EXPECT_EQ(countDiagnostics(malformed), 1);
    // The low-latency step on a pseudo-terminal: nothing applied, one line, open anyway.
    EXPECT_EQ(countDiagnostics("CorvexLink: OpenCommPort --> low latency on " + sim().slavePath() +
                               ": low_latency flag not applied (Inappropriate ioctl for device), "
                               "latency timer none\n"),
              1);

    // A second open reads the file again; its bad line is not reported again.
    ASSERT_EQ(PortOpen(3, 9600), 1);
    EXPECT_EQ(countDiagnostics(malformed), 1);
    EXPECT_EQ(PortClose(), 1);
}

TEST_F(PortsConfOpen, TheEnvironmentComesBeforeTheFile) {
    // The fixture points CORVEXLINK_COM1 at the simulator; a file line for COM1 does not
    // take it away, and a file line to a missing device fails like one.
    writeConf("COM1 = /nonexistent/tty\nCOM2 = /nonexistent/tty\n");
    EXPECT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(PortOpen(2, 9600), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
}

}  // namespace
