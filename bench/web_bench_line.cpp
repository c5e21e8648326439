// SPDX-License-Identifier: MIT
// The line side of bench/web_bench.py: simulated stations on a pseudo-terminal in this
// process, whose transcript times every frame on the monotonic clock that the bench's
// Python side reads too (CLOCK_MONOTONIC), so a command sent from another process can be
// timed to its frame on the line.
//
//   web_bench_line STATIONS      e.g. 0-3 or 0-15; wire time at 9600 baud
//
// Prints "line PATH", then takes commands on standard input, one a line:
//   direct N [polled]
//              N stops of station 0 through the C API in this process, 50 ms apart, each
//              timed from the call to its frame: "direct NANOSECONDS" each, then "done";
//              with "polled", a second thread meanwhile reads stations 0 to 3 in turn for
//              half of the line's time, as the service polls four subscribed motors
//   watch      from now on every frame as "frame MONOTONIC_NS BYTES" (CR as \r)
// The end of the input ends the program.
#include <CorvexLink.h>
#include <kx4417/simulator.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::int64_t nanoseconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

std::vector<int> parseStations(const std::string &text) {
    std::vector<int> out;
    const auto dash = text.find('-');
    if (dash == std::string::npos) {
        out.push_back(std::stoi(text));
    } else {
        for (int a = std::stoi(text.substr(0, dash)); a <= std::stoi(text.substr(dash + 1)); ++a)
            out.push_back(a);
    }
    return out;
}

std::string visible(const std::string &bytes) {
    std::string out;
    for (char c : bytes) out += c == '\r' ? std::string("\\r") : std::string(1, c);
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    kx4417::SimOptions options;
    options.stations = parseStations(argc > 1 ? argv[1] : "0-3");
    options.wireTime = true;
    kx4417::Simulator sim(options);
    if (!sim.start()) {
        std::fprintf(stderr, "web_bench_line: cannot start the simulator\n");
        return 1;
    }
    std::printf("line %s\n", sim.slavePath().c_str());
    std::fflush(stdout);

    std::atomic<bool> watching{false}, ending{false};
    std::mutex output;
    std::thread watcher([&] {
        while (!ending) {
            sim.waitForFrames(1, std::chrono::milliseconds(50));
            if (!watching) continue;
            const auto frames = sim.takeFrames();
            const std::lock_guard<std::mutex> lock(output);
            for (const auto &frame : frames)
                std::printf("frame %lld %s\n", static_cast<long long>(nanoseconds(frame.at)),
                            visible(frame.bytes).c_str());
            std::fflush(stdout);
        }
    });

    std::string command;
    while (std::getline(std::cin, command)) {
        if (command == "watch") {
            sim.clearTranscript();
            watching = true;
        } else if (command.rfind("direct ", 0) == 0) {
            const int count = std::stoi(command.substr(7));
            CorvexLinkLine *line = nullptr;
            CorvexLinkResult result{};
            if (CorvexLinkLineOpen(sim.slavePath().c_str(), 9600, &line, &result) != 1) {
                std::fprintf(stderr, "web_bench_line: %s\n", result.message);
                return 1;
            }
            std::atomic<bool> polling{command.find("polled") != std::string::npos};
            std::thread poller([&] {
                for (int a = 0; polling; a = (a + 1) % 4) {
                    const auto began = std::chrono::steady_clock::now();
                    std::int32_t status = 0;
                    CorvexLinkLineMotorGetStatusRegister(line, std::to_string(a).c_str(), &status);
                    std::this_thread::sleep_for(std::chrono::steady_clock::now() - began);
                }
            });
            for (int i = 0; i < count; ++i) {
                sim.clearTranscript();
                std::this_thread::sleep_for(std::chrono::milliseconds(i % 7));  // any phase
                const auto called = std::chrono::steady_clock::now();
                CorvexLinkLineMotorStop(line, "0");
                std::int64_t latency = -1;
                for (const auto &frame : sim.frames())
                    if (frame.bytes == "_0H" || frame.bytes == "_0H\r")
                        latency = nanoseconds(frame.at) - nanoseconds(called);
                const std::lock_guard<std::mutex> lock(output);
                std::printf("direct %lld\n", static_cast<long long>(latency));
                std::fflush(stdout);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            polling = false;
            poller.join();
            CorvexLinkLineClose(line);
            const std::lock_guard<std::mutex> lock(output);
            std::printf("done\n");
            std::fflush(stdout);
        }
    }
    ending = true;
    watcher.join();
    sim.stop();
    return 0;
}
