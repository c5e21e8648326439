// SPDX-License-Identifier: MIT
// The kx4417-sim program as a user runs it: its options, its refusals of bad ones, and the
// faults it names in the transcript it prints.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "test_sim_host.h"

using namespace simtest;

namespace {

struct ProgramRun {
    int status = -1;
    std::string output;
};

// Runs the program to its end with `args`; stdout and stderr together.
ProgramRun runSim(const std::string &args) {
    ProgramRun run;
    const std::string command = std::string(KX4417_SIM_PROGRAM) + " " + args + " 2>&1";
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) run.output.append(buf, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(SimProgram, HelpVersionAndRefusedOptions) {
    ProgramRun run = runSim("--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "kx4417-sim 2.1.1\n");
    run = runSim("--help");
    EXPECT_EQ(run.status, 0);
    for (const char *option : {"--stations", "--link", "--wire-time", "--transcript", "--seed",
                               "--fault-rate", "--hang-up-after", "--wrong-rate-stations"})
        EXPECT_NE(run.output.find(option), std::string::npos) << option;

    for (const char *bad :
         {"--stations 0-16", "--stations 3,x", "--drop 1.5", "--drop 0.6 --nul 0.6", "--delay 5-",
          "--delay 300-200", "--no-such-option", "--link"}) {
        run = runSim(bad);
        EXPECT_EQ(run.status, 2) << bad << ": " << run.output;
        EXPECT_NE(run.output.find("--help"), std::string::npos) << bad;
    }
}

TEST(SimProgram, TranscriptNamesTheInjectedFault) {
    char dir[] = "/tmp/kx4417-cli-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/com1";
    const std::string out = std::string(dir) + "/out.txt";
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execl(KX4417_SIM_PROGRAM, "kx4417-sim", "--stations", "2", "--link", link.c_str(),
                "--transcript", "--drop", "1", "--seed", "9", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    const auto end = Clock::now() + 5s;
    while (::access(link.c_str(), F_OK) != 0 && Clock::now() < end)
        std::this_thread::sleep_for(10ms);
    {
        Host host(link);
        ASSERT_TRUE(host.ok());
        EXPECT_EQ(host.ask("_2P", 200ms), "");  // dropped
    }
    std::this_thread::sleep_for(300ms);  // the program prints what it took
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("kx4417-sim: stations 2 on /dev/pts/"), std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find(" _2P\\r  ! drop\n"), std::string::npos) << text.str();
    EXPECT_NE(::access(link.c_str(), F_OK), 0);  // the link went with the program
    ::unlink(out.c_str());
    ::rmdir(dir);
}

// With --control the program takes commands on its standard input, answers each, and ends
// when that input closes, so a test (or any program driving it) never leaves it behind.
TEST(SimProgram, ControlCommandsSetWhatTheStationsSeeAndTheInputsEndIsTheEnd) {
    char dir[] = "/tmp/kx4417-control-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/com1";
    const std::string out = std::string(dir) + "/out.txt";
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(input[0], 0);
        ::dup2(fd, 1);
        ::close(input[1]);
        ::execl(KX4417_SIM_PROGRAM, "kx4417-sim", "--stations", "0,1", "--link", link.c_str(),
                "--control", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    ::close(input[0]);
    const auto end = Clock::now() + 5s;
    while (::access(link.c_str(), F_OK) != 0 && Clock::now() < end)
        std::this_thread::sleep_for(10ms);
    const std::string commands = "limit 1 1 0\ninputs 1 1234\nadc 0 3 777\nbogus\nlimit 1 2 0\n"
                                 "inputs 16 1\nlimit 1\n";
    ASSERT_EQ(::write(input[1], commands.data(), commands.size()),
              static_cast<ssize_t>(commands.size()));
    std::this_thread::sleep_for(200ms);
    {
        Host host(link);
        ASSERT_TRUE(host.ok());
        EXPECT_EQ(host.ask("_1B", 300ms), "\r\n1234\r\n>");
        const std::string status = host.ask("_1=", 300ms);
        ASSERT_GT(status.size(), 4u);
        const long bits = std::strtol(status.c_str() + 2, nullptr, 10);
        EXPECT_EQ(bits & 0x30, 0x10) << status;  // the counter-clockwise switch alone
    }
    ::close(input[1]);  // the driving program goes away
    int status = 0;
    const auto waited = Clock::now();
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && Clock::now() - waited < 5s)
        std::this_thread::sleep_for(20ms);
    if (ended == 0) ::kill(child, SIGKILL);
    ASSERT_EQ(ended, child) << "the program did not end with its input";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("ok\nok\nok\nerror: unknown command 'bogus' (limit, inputs, adc)\n"
                              "error: address 0..15, switches 0 or 1\n"
                              "error: address 0..15, value 0..65535\n"
                              "error: usage: limit ADDRESS CCW CW\n"),
              std::string::npos)
        << text.str();
    ::unlink(out.c_str());
    ::rmdir(dir);
}

}  // namespace
