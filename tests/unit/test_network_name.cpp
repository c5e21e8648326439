// SPDX-License-Identifier: MIT
// Network port names: what counts as one, the parts of a good one, and what the open says
// about a bad one.
#include <gtest/gtest.h>

#include <string>

#include "platform/network_name.h"

namespace {

using corvex::platform::isNetworkName;
using corvex::platform::parseNetworkName;

TEST(NetworkName, WhatIsMeantAsANetworkName) {
    for (const char *name :
         {"rfc2217://h:1", "tcp://h:1", "TCP://h:1", "udp://h:1", "tcp://", "rfc2217://[::1"})
        EXPECT_TRUE(isNetworkName(name)) << name;
    // Device paths, Windows names and drive letters are not.
    for (const char *name : {"/dev/ttyUSB0", "\\\\.\\COM3", "Z:\\tmp\\sim-link", "C://dir/x",
                             "/tmp/a://b", "", "tcp:/h:1", "1tcp://h:1", "t cp://h:1"})
        EXPECT_FALSE(isNetworkName(name)) << name;
}

TEST(NetworkName, GoodNames) {
    const struct {
        const char *name;
        bool rfc2217;
        const char *host;
        int port;
    } cases[] = {
        {"rfc2217://127.0.0.1:4000", true, "127.0.0.1", 4000},
        {"tcp://lab-pi.local:2001", false, "lab-pi.local", 2001},
        {"RFC2217://Host_1:65535", true, "Host_1", 65535},
        {"tcp://[::1]:1", false, "::1", 1},
        {"rfc2217://[fe80::1:2]:02000", true, "fe80::1:2", 2000},
        {"tcp://[::ffff:192.0.2.1]:7", false, "::ffff:192.0.2.1", 7},
        {"rfc2217://[fe80::1%eth0]:4000", true, "fe80::1%eth0", 4000},
        {"tcp://[fe80::1%3]:4000", false, "fe80::1%3", 4000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string problem;
        const auto n = parseNetworkName(c.name, problem);
        ASSERT_TRUE(n.has_value()) << problem;
        EXPECT_EQ(n->rfc2217, c.rfc2217);
        EXPECT_EQ(n->host, c.host);
        EXPECT_EQ(n->port, c.port);
    }
}

TEST(NetworkName, EachMalformedNameSaysWhatIsWrong) {
    const struct {
        const char *name;
        const char *problem;
    } cases[] = {
        {"udp://h:1", "unknown scheme \"udp\" (rfc2217:// or tcp://)"},
        {"rfc2217://h", "no port after the host (HOST:PORT)"},
        {"rfc2217://h:", "no port after the host (HOST:PORT)"},
        {"tcp://:4000", "no host before the port"},
        {"tcp://h:0", "port \"0\" is not a number from 1 to 65535"},
        {"tcp://h:65536", "port \"65536\" is not a number from 1 to 65535"},
        {"tcp://h:99999999999999999999", "port \"99999999999999999999\" is not a number from 1 "
                                         "to 65535"},
        {"tcp://h:x1", "port \"x1\" is not a number from 1 to 65535"},
        {"tcp://h:-1", "port \"-1\" is not a number from 1 to 65535"},
        {"tcp://h:4000/", "\"/\" after the port (nothing may follow it)"},
        {"tcp://h:4000?x", "\"?x\" after the port (nothing may follow it)"},
        {"tcp://::1:4000", "an IPv6 address must be written in brackets ([ADDRESS]:PORT)"},
        {"tcp://[::1:4000", "\"[\" without \"]\" around the IPv6 address"},
        {"tcp://[::1]", "no port after the host (HOST:PORT)"},
        {"tcp://[::1]4000", "\"4000\" after the IPv6 address instead of :PORT"},
        {"tcp://[]:4000", "\"\" in brackets is not an IPv6 address"},
        {"tcp://[host]:4000", "\"host\" in brackets is not an IPv6 address"},
        {"tcp://[%eth0]:4000", "\"%eth0\" in brackets is not an IPv6 address"},
        {"tcp://[fe80::1%]:4000", "\"\" after '%' is not an interface name or number"},
        {"tcp://[fe80::1%e/0]:4000", "\"e/0\" after '%' is not an interface name or number"},
        {"tcp://user@h:4000",
         "host \"user@h\" holds characters other than letters, digits, '-', '_' and '.'"},
        {"tcp://h h:4000",
         "host \"h h\" holds characters other than letters, digits, '-', '_' and '.'"},
        {"/dev/ttyS0", "not of the form rfc2217://HOST:PORT or tcp://HOST:PORT"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string problem;
        EXPECT_FALSE(parseNetworkName(c.name, problem).has_value());
        EXPECT_EQ(problem, c.problem);
    }
}

}  // namespace
