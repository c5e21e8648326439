// SPDX-License-Identifier: MIT
// The Windows half of the platform layer on its own: port names, what the serial device
// refuses to open, the tick count and the worker's priority.
#include <gtest/gtest.h>
#include <pthread.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/serial_device.h"
#include "platform/thread_priority.h"

namespace {

using namespace corvex::platform;

// Sets (or with nullptr removes) an environment variable for the test's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        _putenv_s(name, value ? value : "");
    }
    ~ScopedEnv() { _putenv_s(name_.c_str(), ""); }

private:
    std::string name_;
};

TEST(Win32PortNames, ComNumbersNameTheDeviceNamespaceAndTheVariableOverrides) {
    EXPECT_EQ(resolvePortName(1), "\\\\.\\COM1");
    EXPECT_EQ(resolvePortName(12), "\\\\.\\COM12");  // two digits need the device namespace
    EXPECT_EQ(resolvePortName(0), "");
    EXPECT_EQ(resolvePortName(-3), "");
    {
        ScopedEnv env("CORVEXLINK_COM3", "Z:\\tmp\\sim-link");
        EXPECT_EQ(resolvePortName(3), "Z:\\tmp\\sim-link");
        EXPECT_EQ(resolvePortName(4), "\\\\.\\COM4");  // only the port named
    }
    {
        ScopedEnv env("CORVEXLINK_COM3", "");  // an empty value is no mapping
        EXPECT_EQ(resolvePortName(3), "\\\\.\\COM3");
    }
}

TEST(Win32SerialOpen, RefusesWhatIsNoCommunicationsDevice) {
    EXPECT_EQ(openSerialDevice(0), nullptr);
    char folder[MAX_PATH];
    ASSERT_NE(::GetTempPathA(sizeof folder, folder), 0u);
    const std::string file = std::string(folder) + "corvexlink-not-a-port.txt";
    std::FILE *f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("not a port", f);
    std::fclose(f);
    {
        ScopedEnv env("CORVEXLINK_COM5", file.c_str());
        EXPECT_EQ(openSerialDevice(5), nullptr) << "a plain file was taken for a port";
    }
    {
        ScopedEnv env("CORVEXLINK_COM5", (file + ".missing").c_str());
        EXPECT_EQ(openSerialDevice(5), nullptr);
    }
    // The refused file was closed again: it can be deleted at once.
    EXPECT_TRUE(::DeleteFileA(file.c_str())) << ::GetLastError();
}

TEST(Win32Clock, TickCountFollowsSleepsInMilliseconds) {
    const std::uint32_t start = tickCount();
    sleepMs(30);
    const std::uint32_t elapsed = tickCount() - start;
    EXPECT_GE(elapsed, 25u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Win32ThreadPriority, TimeCriticalAndHighestReachTheSystemThread) {
    std::atomic<bool> stop{false};
    std::atomic<int> seen{THREAD_PRIORITY_ERROR_RETURN};
    std::atomic<int> request{0};  // 1: report time-critical check, 2: highest
    std::thread worker([&] {
        while (!stop.load()) {
            if (request.load() != 0) {
                seen.store(::GetThreadPriority(::GetCurrentThread()));
                request.store(0);
            }
            ::Sleep(1);
        }
    });
    const auto priorityOfWorker = [&] {
        request.store(1);
        while (request.load() != 0) ::Sleep(1);
        return seen.load();
    };
    ASSERT_TRUE(setThreadPriority(worker, ThreadPriority::TimeCritical));
    EXPECT_EQ(priorityOfWorker(), THREAD_PRIORITY_TIME_CRITICAL);
    ASSERT_TRUE(setThreadPriority(worker, ThreadPriority::Highest));
    EXPECT_EQ(priorityOfWorker(), THREAD_PRIORITY_HIGHEST);
    stop.store(true);
    worker.join();
}

TEST(Win32ThreadEnd, AThreadTheSystemEndedIsToldApartFromARunningOne) {
    // At process exit the system ends the receive worker before the DLL unloads; the close
    // then must not wait for it.
    std::atomic<bool> stop{false};
    std::thread running([&] {
        while (!stop.load()) ::Sleep(1);
    });
    std::thread ended([] {
        for (;;) ::Sleep(1000);
    });
    EXPECT_FALSE(threadTerminatedBySystem(running));
    EXPECT_FALSE(threadTerminatedBySystem(ended));
    HANDLE handle = static_cast<HANDLE>(pthread_gethandle(ended.native_handle()));
    ASSERT_TRUE(::TerminateThread(handle, 0));
    ASSERT_EQ(::WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(threadTerminatedBySystem(ended));
    ended.detach();
    stop.store(true);
    running.join();
}

}  // namespace
