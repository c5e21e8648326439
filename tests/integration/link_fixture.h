// SPDX-License-Identifier: MIT
// The integration fixture: a simulator with chosen stations on its own pseudo-terminal,
// COM1 pointed at it, the library reset to its load-time state and (by default) the port
// open at 9600 baud. Diagnostics lines are captured instead of printed.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CorvexLink.h"
#include "kx4417/simulator.h"
#include "line_access.h"
#include "platform/diagnostics.h"

class LinkTest : public ::testing::Test {
protected:
    explicit LinkTest(std::vector<int> stations = {0, 1, 2, 3}, bool openPort = true,
                      bool wireTime = false)
        : stations_(std::move(stations)), openPort_(openPort), wireTime_(wireTime) {}

    void SetUp() override {
        corvex::test::resetLibrary();
        corvex::platform::setDiagnosticsSink([this](const std::string &line) {
            std::lock_guard<std::mutex> lock(diagMutex_);
            diagnostics_.push_back(line);
        });
        kx4417::SimOptions options;
        options.stations = stations_;
        options.wireTime = wireTime_;
        sim_ = std::make_unique<kx4417::Simulator>(options);
        ASSERT_TRUE(sim_->start());
        ::setenv("CORVEXLINK_COM1", sim_->slavePath().c_str(), 1);
        if (openPort_) {
            ASSERT_EQ(PortOpen(1, 9600), 1) << ZelmarGetErrorMessage();
        }
        sim_->clearTranscript();
        clearDiagnostics();
    }

    void TearDown() override {
        corvex::test::resetLibrary();  // closes the port while the simulator still runs
        sim_->stop();
        corvex::platform::setDiagnosticsSink({});
        ::unsetenv("CORVEXLINK_COM1");
        ::unsetenv("CORVEXLINK_COM2");
    }

    kx4417::Simulator &sim() { return *sim_; }

    // Every frame the stations received since the last clear, CR included.
    std::vector<std::string> frames() const { return sim_->frameTexts(); }

    std::vector<std::string> diagnostics() {
        std::lock_guard<std::mutex> lock(diagMutex_);
        return diagnostics_;
    }
    int countDiagnostics(const std::string &line) {
        int n = 0;
        for (const auto &d : diagnostics()) n += d == line ? 1 : 0;
        return n;
    }
    void clearDiagnostics() {
        std::lock_guard<std::mutex> lock(diagMutex_);
        diagnostics_.clear();
    }

    // Fills the station table as a scan would, for tests that need it without scanning.
    static void setStationTable(const char *table16) {
        std::snprintf(corvex::test::stationTable(), 17, "%s", table16);
    }

    // Milliseconds taken by `f`.
    template <typename F>
    static long long elapsedMs(F &&f) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - t0)
            .count();
    }

private:
    std::vector<int> stations_;
    bool openPort_;
    bool wireTime_;
    std::unique_ptr<kx4417::Simulator> sim_;
    std::mutex diagMutex_;
    std::vector<std::string> diagnostics_;
};

// The same fixture with another set of stations: derive and pass them on.
template <int... Addresses>
class LinkTestWith : public LinkTest {
protected:
    LinkTestWith() : LinkTest({Addresses...}) {}
};
