// SPDX-License-Identifier: MIT
// Opening, re-opening and closing the port; the write primitives; a line that goes away.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "link_fixture.h"
#include "tap_device.h"

using namespace std::chrono_literals;
using corvex::test::line;

namespace {

class PortTest : public LinkTest {
protected:
    PortTest() : LinkTest({0, 1, 2, 3}, false) {}
};

// True when another process could take the device now (the library holds none).
bool deviceIsFree(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

TEST_F(PortTest, RatesAreRoundedToLineRatesButReportedAsGiven) {
    ASSERT_EQ(PortOpen(1, 9650), 1);
    EXPECT_EQ(ZelmarGetBaudRate(), 9650);
    EXPECT_EQ(ZelmarGetPort(), 1);
    EXPECT_EQ(sim().hostBaudRate(), 9600);

    ASSERT_EQ(PortOpen(1, 19200), 1);
    EXPECT_EQ(sim().hostBaudRate(), 19200);
    ASSERT_EQ(PortOpen(1, 4000), 1);  // no such line rate: the line keeps 19200
    EXPECT_EQ(ZelmarGetBaudRate(), 4000);
    EXPECT_EQ(sim().hostBaudRate(), 19200);
}

TEST_F(PortTest, UnsupportedRateAfterLoadKeeps9600) {
    ASSERT_EQ(PortOpen(1, 4000), 1);
    EXPECT_EQ(sim().hostBaudRate(), 9600);
    EXPECT_EQ(line().selection.lineBaudRate, 9600);
}

TEST_F(PortTest, FailedOpensReportError36AndLeaveNoPortOpen) {
    for (int port : {0, 7, -3}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(PortOpen(port, 9600), -1);
        EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
        EXPECT_STREQ(ZelmarGetErrorMessage(), "Unable to open COM port");
        EXPECT_TRUE(line().selection.used);
        EXPECT_EQ(ZelmarGetPort(), port);
    }
    ::setenv("CORVEXLINK_COM2", "/nonexistent/tty", 1);
    EXPECT_EQ(PortOpen(2, 9600), -1);
    EXPECT_EQ(PortClose(), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_PORT_NOT_OPEN);
    // Commands after a failed open meet "no port", not a hang.
    EXPECT_EQ(WriteCommandtoKX4417("_0"), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_PORT);
}

TEST_F(PortTest, ClosingTwiceAndBeforeAnyOpen) {
    EXPECT_EQ(PortClose(), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_PORT_NOT_OPEN);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "COM port is NOT open");

    ASSERT_EQ(PortOpen(1, 9600), 1);
    EXPECT_FALSE(deviceIsFree(sim().slavePath()));
    EXPECT_EQ(PortClose(), 1);
    EXPECT_TRUE(deviceIsFree(sim().slavePath()));
    EXPECT_EQ(line().port.workerSerial(), 0u);
    EXPECT_EQ(PortClose(), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_PORT_NOT_OPEN);
}

TEST_F(PortTest, ReopeningEndsTheOldWorkerFirst) {
    ASSERT_EQ(PortOpen(1, 9600), 1);
    const auto firstWorker = line().port.workerSerial();
    ASSERT_EQ(PortOpen(1, 9600), 1);  // the same device: only possible once it was released
    EXPECT_NE(line().port.workerSerial(), firstWorker);
    EXPECT_EQ(WriteCommandtoKX4417("_0"), 1);

    kx4417::SimOptions options;
    options.stations = {5};
    kx4417::Simulator second(options);
    ASSERT_TRUE(second.start());
    ::setenv("CORVEXLINK_COM2", second.slavePath().c_str(), 1);
    ASSERT_EQ(PortOpen(2, 9650), 1);
    EXPECT_TRUE(deviceIsFree(sim().slavePath()));
    EXPECT_EQ(ZelmarGetPort(), 2);
    EXPECT_EQ(second.hostBaudRate(), 9600);
    second.clearTranscript();
    EXPECT_EQ(WriteCommandtoKX4417("_5"), 1);
    EXPECT_EQ(second.frameTexts(), std::vector<std::string>{"_5\r"});
    ASSERT_EQ(PortClose(), 1);
}

TEST_F(PortTest, WritePrimitives) {
    const auto WriteComm = [](const char *bytes, std::size_t count) {
        return line().port.write(bytes, count);
    };
    // Zero bytes: refused with a diagnostics line.
    EXPECT_EQ(line().port.writeBlock("x", 0), 0);
    EXPECT_EQ(countDiagnostics("CorvexLink: WriteCommBlock --> Byte count is zero\n"), 1);

    // No port: both attempts fail at once.
    EXPECT_EQ(WriteComm("_0\r", 3), 0);
    EXPECT_EQ(countDiagnostics("CorvexLinkDLL: WriteComm --> second round\n"), 1);
    long long ms = elapsedMs([] {
        corvex::link::Call call = corvex::test::sharedCall();
        EXPECT_EQ(corvex::link::WriteSP(call, "_0"), 0);
    });
    EXPECT_GE(ms, 195);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_NO_ANSWER);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "WriteSP: COM port timed out");

    // A first failure and a good second attempt.
    corvex::test::TapScope tap;
    ASSERT_EQ(PortOpen(1, 9600), 1);
    sim().clearTranscript();
    clearDiagnostics();
    tap.failNextWrites(1);
    EXPECT_EQ(WriteComm("_0\r", 3), 1);
    EXPECT_EQ(countDiagnostics("CorvexLinkDLL: WriteComm --> second round\n"), 1);
    ASSERT_TRUE(sim().waitForFrames(1, 500ms));
    EXPECT_EQ(frames(), std::vector<std::string>{"_0\r"});
}

// CPU time this process has used, in milliseconds.
long long cpuMs() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000LL +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}

TEST(LineLoss, HangUpNeitherHangsNorSpinsAndTheDeviceComesBack) {
    corvex::test::resetLibrary();
    std::vector<std::string> lines;
    std::mutex m;
    corvex::platform::setDiagnosticsSink([&](const std::string &l) {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(l);
    });
    const auto dir = std::filesystem::temp_directory_path() /
                     ("corvexlink-hangup-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    kx4417::SimOptions options;
    options.stations = {0};
    options.linkPath = (dir / "com1").string();
    kx4417::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    ::setenv("CORVEXLINK_COM1", options.linkPath.c_str(), 1);
    ASSERT_EQ(PortOpen(1, 9600), 1);
    ASSERT_EQ(WriteCommandtoKX4417("_0"), 1);

    sim.hangUp();
    const long long cpuBefore = cpuMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(cpuMs() - cpuBefore, 150) << "the worker spins on the lost line";

    // A lost line is said at once, not after the answer waits.
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(WriteCommandtoKX4417("_0"), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 100ms);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_LINE_LOST);
    EXPECT_NE(std::string(ZelmarGetErrorMessage()).find("the line is lost"), std::string::npos);
    EXPECT_EQ(PortClose(), 1);
    {
        std::lock_guard<std::mutex> lock(m);
        int lost = 0;
        for (const auto &l : lines) lost += l.find("line lost") != std::string::npos;
        EXPECT_EQ(lost, 1);
    }

    ASSERT_TRUE(sim.reconnect());
    ASSERT_EQ(PortOpen(1, 9600), 1);
    EXPECT_EQ(WriteCommandtoKX4417("_0"), 1);
    EXPECT_EQ(PortClose(), 1);
    sim.stop();
    corvex::platform::setDiagnosticsSink({});
    std::filesystem::remove_all(dir);
}

}  // namespace
