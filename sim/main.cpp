// SPDX-License-Identifier: MIT
// kx4417-sim: simulated stations on a pseudo-terminal until SIGINT or SIGTERM, with
// optional injected faults that a seed makes reproducible. `kx4417-sim --help` lists the
// options.

#include <kx4417/simulator.h>

#include <CLI/CLI.hpp>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "src/control.h"

namespace {

volatile sig_atomic_t gStop = 0;
std::atomic<bool> gInputEnded{false};  // with --control: standard input is closed

void onSignal(int) { gStop = 1; }

// "0,1,2,3", "0-3", "0-3,8,12-15"; false on anything else.
bool parseStations(const std::string &text, std::vector<int> &out) {
    out.clear();
    std::stringstream pieces(text);
    std::string piece;
    while (std::getline(pieces, piece, ',')) {
        int first = 0;
        int last = 0;
        char dash = 0;
        int used = 0;
        if (std::sscanf(piece.c_str(), "%d%n", &first, &used) != 1) return false;
        if (static_cast<std::size_t>(used) == piece.size()) {
            last = first;
        } else if (std::sscanf(piece.c_str(), "%d%c%d%n", &first, &dash, &last, &used) != 3 ||
                   dash != '-' || static_cast<std::size_t>(used) != piece.size()) {
            return false;
        }
        if (first < 0 || last > 15 || first > last) return false;
        for (int a = first; a <= last; ++a) out.push_back(a);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return !out.empty();
}

// "250" (fixed) or "150-250" (uniform) milliseconds; false on anything else.
bool parseDelay(const std::string &text, kx4417::FaultPlan &plan) {
    long low = 0;
    long high = 0;
    int used = 0;
    char dash = 0;
    if (std::sscanf(text.c_str(), "%ld%n", &low, &used) == 1 &&
        static_cast<std::size_t>(used) == text.size()) {
        high = low;
    } else if (std::sscanf(text.c_str(), "%ld%c%ld%n", &low, &dash, &high, &used) != 3 ||
               dash != '-' || static_cast<std::size_t>(used) != text.size()) {
        return false;
    }
    if (low < 0 || high < low || high > 60'000) return false;
    plan.delayMin = std::chrono::milliseconds(low);
    plan.delayMax = std::chrono::milliseconds(high);
    return true;
}

std::string visible(const std::string &bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

std::string joined(const std::vector<int> &values) {
    std::string out;
    for (int v : values) out += (out.empty() ? "" : ",") + std::to_string(v);
    return out;
}

// CLI11 validator for a station list.
struct StationList : CLI::Validator {
    StationList() : CLI::Validator("LIST") {
        func_ = [](const std::string &text) {
            std::vector<int> stations;
            return parseStations(text, stations) ? std::string()
                                                 : "bad station list '" + text + "'";
        };
    }
};

}  // namespace

int main(int argc, char **argv) {
    kx4417::SimOptions options;
    kx4417::FaultPlan faults;
    bool transcript = false;
    std::string stationText = "0-3";
    std::string wrongRateText;
    std::string delayText;
    double faultRate = 0;
    double delayRate = -1;
    long splitGapMs = faults.splitGap.count();
    long reconnectMs = faults.reconnectAfter.count();

    CLI::App app{"Simulated KX4417 stations on a pseudo-terminal, until SIGINT or SIGTERM.\n"
                 "Fault probabilities are per answered frame; at most one fault hits a frame.",
                 "kx4417-sim"};
    app.set_version_flag("--version", std::string("kx4417-sim ") + KX4417_SIM_VERSION);
    app.footer("Examples:\n"
               "  kx4417-sim --stations 0-3 --link /tmp/com1 --transcript\n"
               "  kx4417-sim --fault-rate 0.05 --seed 7 --transcript\n"
               "  kx4417-sim --delay 190-210 --delay-rate 0.5 --hang-up-after 100");
    const StationList stationList;
    auto probability = CLI::Range(0.0, 1.0);
    app.add_option("--stations", stationText, "addresses 0..15, e.g. 0,1,2,3 or 0-3 or 0-3,8")
        ->check(stationList)
        ->capture_default_str();
    app.add_option("--link", options.linkPath, "keep a symlink to the pty slave at PATH")
        ->type_name("PATH");
    app.add_flag("--wire-time", options.wireTime,
                 "delay every byte by 10 bit times at the line rate");
    app.add_flag("--transcript", transcript,
                 "print every received frame with a timestamp and its fault");
    bool control = false;
    app.add_flag("--control", control,
                 "read commands from standard input, one a line, and answer each with 'ok' or "
                 "'error: ...': 'limit ADDRESS CCW CW' (0 or 1 each), 'inputs ADDRESS VALUE', "
                 "'adc MASTER CHANNEL VALUE'; the end of the input ends the simulator");

    const std::string faultGroup = "Faults";
    app.add_option("--seed", faults.seed, "seed of the fault generator")
        ->group(faultGroup)
        ->capture_default_str();
    app.add_option(
           "--fault-rate", faultRate,
           "probability P spread evenly over every kind of fault; hang-ups every 10/P frames")
        ->check(probability)
        ->group(faultGroup);
    auto kind = [&](const char *name, kx4417::Fault fault, const char *help) {
        app.add_option(std::string("--") + name, faults[fault], help)
            ->check(probability)
            ->group(faultGroup);
    };
    kind("drop", kx4417::Fault::Drop, "drop the answer (the command still runs)");
    app.add_option("--delay", delayText, "delay answers by MS, or by MIN-MAX ms at random")
        ->check([&](const std::string &text) {
            kx4417::FaultPlan probe;
            return parseDelay(text, probe) ? std::string()
                                           : "bad delay '" + text + "' (MS or MIN-MAX)";
        })
        ->type_name("MS|MIN-MAX")
        ->group(faultGroup);
    app.add_option("--delay-rate", delayRate,
                   "probability of a delayed answer (1 when only --delay is given)")
        ->check(probability)
        ->group(faultGroup);
    kind("garbage-before", kx4417::Fault::GarbageBefore, "1..8 noise bytes before the answer");
    kind("garbage-instead", kx4417::Fault::GarbageInstead,
         "1..8 noise bytes instead of the answer");
    kind("nul", kx4417::Fault::Nul, "1..3 NUL bytes inside the answer");
    kind("split", kx4417::Fault::Split, "the answer in 2..4 pieces");
    app.add_option("--split-gap", splitGapMs, "ms between the pieces of a split answer")
        ->check(CLI::Range(0L, 60'000L))
        ->group(faultGroup)
        ->capture_default_str();
    kind("overlong", kx4417::Fault::Overlong, "an over-long answer without a prompt");
    app.add_option("--overlong-bytes", faults.overlongBytes, "length of an over-long answer")
        ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
        ->group(faultGroup)
        ->capture_default_str();
    kind("wrong-rate", kx4417::Fault::WrongRate,
         "the answer garbled as a host at another rate reads it");
    kind("two-stations", kx4417::Fault::TwoStations, "a second station answers the same frame");
    app.add_option("--hang-up-after", faults.hangUpAfter, "hang up the line after every N frames")
        ->check(CLI::Range(0, 1'000'000'000))
        ->group(faultGroup);
    app.add_option("--reconnect-after", reconnectMs,
                   "ms until a hung-up line comes back (same link)")
        ->check(CLI::Range(0L, 600'000L))
        ->group(faultGroup)
        ->capture_default_str();
    app.add_option("--wrong-rate-stations", wrongRateText,
                   "stations that run at another line rate than the host and hear nothing")
        ->check(stationList)
        ->group(faultGroup);

    try {
        app.parse(argc, argv);
        parseStations(stationText, options.stations);
        if (faultRate > 0) {
            const kx4417::FaultPlan spread = kx4417::FaultPlan::everyKind(faultRate, faults.seed);
            // Kinds given on their own keep their own probability.
            for (int k = 0; k < kx4417::kFaultKinds; ++k) {
                const auto fault = static_cast<kx4417::Fault>(k);
                if (fault == kx4417::Fault::HangUp || fault == kx4417::Fault::Delay) continue;
                if (app.count(std::string("--") + kx4417::faultName(fault)) == 0)
                    faults[fault] = spread[fault];
            }
            if (app.count("--delay-rate") == 0)
                faults[kx4417::Fault::Delay] = spread[kx4417::Fault::Delay];
            if (app.count("--hang-up-after") == 0) faults.hangUpAfter = spread.hangUpAfter;
        }
        if (delayRate >= 0) faults[kx4417::Fault::Delay] = delayRate;
        if (!delayText.empty()) {
            parseDelay(delayText, faults);
            if (delayRate < 0 && faultRate == 0) faults[kx4417::Fault::Delay] = 1.0;
        }
        faults.splitGap = std::chrono::milliseconds(splitGapMs);
        faults.reconnectAfter = std::chrono::milliseconds(reconnectMs);
        double total = 0;
        for (double p : faults.probability) total += p;
        if (total > 1.0 + 1e-9)
            throw CLI::ValidationError("fault probabilities",
                                       "add up to more than 1 (at most one fault per frame)");
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // Faults and rates are in place before the line exists, so the first frame meets them.
    kx4417::Simulator sim(options);
    sim.setFaults(faults);
    std::vector<int> wrongRate;
    if (!wrongRateText.empty() && parseStations(wrongRateText, wrongRate))
        for (int a : wrongRate)
            sim.setStationBaudRate(a, options.stationBaudRate == 9600 ? 19200 : 9600);
    const auto started = std::chrono::steady_clock::now();
    if (!sim.start()) {
        std::fprintf(stderr, "kx4417-sim: cannot open a pseudo-terminal%s%s: %s\n",
                     options.linkPath.empty() ? "" : " or create the link ",
                     options.linkPath.c_str(), std::strerror(errno));
        return 1;
    }
    std::string slave = sim.slavePath();
    std::cout << "kx4417-sim: stations " << joined(options.stations) << " on " << slave;
    if (!options.linkPath.empty()) std::cout << " (link " << options.linkPath << ")";
    std::cout << std::endl;

    // Commands from standard input, answered on standard output between transcript lines.
    std::mutex output;
    if (control) {
        std::thread([&sim, &output] {
            std::string line;
            while (std::getline(std::cin, line)) {
                const std::string reply = kx4417::applyControl(sim, line);
                const std::lock_guard<std::mutex> lock(output);
                std::printf("%s\n", reply.c_str());
                std::fflush(stdout);
            }
            gInputEnded = true;  // the program that drives it has gone
        }).detach();
    }

    // The transcript is taken as it grows, so a long run keeps no history in memory.
    while (!gStop && !gInputEnded) {
        sim.waitForFrames(1, std::chrono::milliseconds(100));
        const std::lock_guard<std::mutex> lock(output);
        for (const auto &frame : sim.takeFrames()) {
            if (!transcript) continue;
            double t = std::chrono::duration<double>(frame.at - started).count();
            if (frame.fault.empty())
                std::printf("%10.3f %s\n", t, visible(frame.bytes).c_str());
            else
                std::printf("%10.3f %s  ! %s\n", t, visible(frame.bytes).c_str(),
                            frame.fault.c_str());
        }
        // After a hang-up the line comes back on a new pty.
        const std::string now = sim.slavePath();
        if (now != slave && !now.empty()) std::printf("kx4417-sim: line back on %s\n", now.c_str());
        if (now != slave) slave = now;
        std::fflush(stdout);
    }
    sim.stop();
    return 0;
}
