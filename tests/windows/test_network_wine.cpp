// SPDX-License-Identifier: MIT
// Lines over the network from the Windows DLL (Winsock), under Wine: kx4417-sim and
// Debian's ser2net run as Linux processes, and the library reaches the stations through
// rfc2217:// and tcp://, a rate change included.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "CorvexLink.h"
#include "platform/diagnostics.h"
#include "remote_sim.h"
#include "line_access.h"

namespace {

class WineNetworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        corvex::test::resetLibrary();
        corvex::platform::setDiagnosticsSink([](const std::string &) {});
        ASSERT_TRUE(sim_.start("0-3")) << sim_.error();
        ASSERT_TRUE(sim_.serve(rfc2217Port_, tcpPort_)) << sim_.error();
    }
    void TearDown() override {
        corvex::test::resetLibrary();
        sim_.stop();
        corvex::platform::setDiagnosticsSink({});
        _putenv_s("CORVEXLINK_COM1", "");
    }

    static void useCom1(const std::string &name) { _putenv_s("CORVEXLINK_COM1", name.c_str()); }

    static std::string scan() {
        char buffer[CORVEXLINK_CONTROLLER_LIST_SIZE];
        EXPECT_EQ(GetConnectedControllers(buffer), 1) << ZelmarGetErrorMessage();
        return buffer;
    }

    // Named after this process, like the link tests' simulators: ctest runs each test in a
    // process of its own and several at once, and a shared name would restart another test's.
    wintest::RemoteSim sim_{"net" + std::to_string(::GetCurrentProcessId())};
    int rfc2217Port_ = 0;
    int tcpPort_ = 0;
};

TEST_F(WineNetworkTest, Rfc2217ScanReadAndRateChange) {
    useCom1("rfc2217://127.0.0.1:" + std::to_string(rfc2217Port_));
    ASSERT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(scan(), "0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N");
    // The stations garble answers to a host at another rate: the probes after the change
    // pass only if the server's device followed it.
    ASSERT_EQ(ZelmarChangeBaudRate(57600), 1) << ZelmarGetErrorMessage();
    int32_t position = -1;
    EXPECT_EQ(MotorGetPosition("2", &position), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(position, 0);
    ASSERT_EQ(ZelmarChangeBaudRate(9600), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(PortClose(), 1);
}

TEST_F(WineNetworkTest, RawTcpScanAndMove) {
    useCom1("tcp://127.0.0.1:" + std::to_string(tcpPort_));
    ASSERT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(scan(), "0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N");
    ASSERT_EQ(MotorSetPosition("1", 77), 1) << ZelmarGetErrorMessage();
    int32_t position = 0;
    ASSERT_EQ(MotorGetPosition("1", &position), 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(position, 77);
    EXPECT_EQ(PortClose(), 1);
}

TEST_F(WineNetworkTest, RefusedConnectionFailsTheOpen) {
    sim_.stop();  // ser2net ends with its simulator
    useCom1("tcp://127.0.0.1:" + std::to_string(tcpPort_));
    EXPECT_EQ(PortOpen(1, 9600), -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
}

}  // namespace
