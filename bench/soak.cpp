// SPDX-License-Identifier: MIT
// Soak: many transactions through the public C API against the simulator with injected
// faults of every kind, then many PortOpen/PortClose cycles. Prints transactions, faults,
// failures by error number, wrong answers, and file descriptors, threads and RSS before
// and after.
//
// Wrong answers are detectable because every value on the line is distinct: each station
// holds its own position, encoder count and status, each ADC channel its own reading, and
// no two of them are equal. A read that succeeds with another value took another
// command's answer (a late answer, a second station's answer, or a value left from an
// earlier command) or a corrupted one (pieces joined, noise read as a number). The line is
// disturbed by an injected fault, and also by a time-out that the library repeats a frame
// after (a loaded machine can answer late without any fault): both show in the
// simulator's transcript. A wrong value is "after a disturbance" when one happened during
// the read or within the reach of late bytes (kFaultReach) before it; any other wrong
// value is one on a clean line.
//
//   soak [--transactions N] [--cycles N] [--fault-rate P] [--seed S] [--check]
#include <CLI/CLI.hpp>

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CorvexLink.h"
#include "kx4417/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kStations = 8;         // two boards: masters 0 and 4
constexpr auto kFaultReach = 500ms;  // longest delay + split gaps, with margin
constexpr int kAdcChannelsUsed = 4;

enum class Kind { Position, Encoder, Status, Adc, Probe, SlewRate };
constexpr int kKinds = 6;
const char *kKindNames[kKinds] = {"position", "encoder", "status", "adc", "probe", "slew rate"};

// The distinct values the line holds.
std::int32_t positionOf(int a) { return 100000 + 1000 * a + 101; }
std::int32_t encoderOf(int a) { return 200000 + 1000 * a + 202; }
std::int32_t statusOf(int a) { return 300 + 7 * a; }
std::int32_t adcOf(int board, int channel) { return 2000 + 100 * board + 10 * channel + 3; }

struct Resources {
    long fds = 0;
    std::multiset<std::string> fdTargets;  // what each descriptor points at
    long threads = 0;
    long rssKb = 0;
};

long countEntries(const char *dir) {
    long n = 0;
    if (DIR *d = ::opendir(dir)) {
        while (const dirent *e = ::readdir(d)) n += e->d_name[0] != '.' ? 1 : 0;
        ::closedir(d);
    }
    return n;
}

Resources resources() {
    Resources r;
    if (DIR *d = ::opendir("/proc/self/fd")) {
        while (const dirent *e = ::readdir(d)) {
            if (e->d_name[0] == '.' || std::atoi(e->d_name) == ::dirfd(d)) continue;
            char target[256] = {};
            const std::string link = std::string("/proc/self/fd/") + e->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            r.fdTargets.insert(n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "?");
        }
        ::closedir(d);
    }
    r.fds = static_cast<long>(r.fdTargets.size());
    r.threads = countEntries("/proc/self/task");
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) r.rssKb = std::atol(line.c_str() + 6);
    return r;
}

std::uint64_t total(const kx4417::FaultCounts &counts) {
    std::uint64_t n = 0;
    for (auto c : counts) n += c;
    return n;
}

struct Results {
    long transactions = 0;
    long reads = 0;
    long readsAfterFault = 0;  // started within kFaultReach after a disturbance
    long reopens = 0;
    std::map<int, long> failures;            // by error number
    long wrongOther = 0;                     // another command's value
    long wrongCorrupt = 0;                   // a value nobody holds
    long wrongClean = 0;                     // any wrong value with no fault within reach
    std::map<std::string, long> examples;    // "position of 3 (103101) read as 0" -> count (a few)
    std::map<std::string, long> wrongAfter;  // wrong values by the kind of the last fault
    long cycles = 0;
    long cycleFailures = 0;       // an open or close that failed
    long cycleProbeFailures = 0;  // no answer to the probe in an open cycle
};

class Soak {
public:
    Soak(kx4417::Simulator &sim, Results &results) : sim_(sim), r_(results) {
        for (int a = 0; a < kStations; ++a) {
            known_.insert(positionOf(a));
            known_.insert(encoderOf(a));
            known_.insert(statusOf(a));
        }
        for (int b = 0; b < 2; ++b)
            for (int c = 0; c < kAdcChannelsUsed; ++c) known_.insert(adcOf(b, c));
    }

    // The stations' values; encoders are set through the library, before any fault.
    bool prepare() {
        for (int a = 0; a < kStations; ++a) {
            sim_.setPositionRaw(a, positionOf(a));
            sim_.setStatusOverride(a, statusOf(a));
            if (EncoderSetPosition(std::to_string(a).c_str(), encoderOf(a)) != 1) return false;
        }
        for (int b = 0; b < 2; ++b)
            for (int c = 0; c < kAdcChannelsUsed; ++c) sim_.setAdcChannel(4 * b, c, adcOf(b, c));
        return true;
    }

    void transaction(long i) {
        const int a = static_cast<int>(i % kStations);
        auto kind = static_cast<Kind>((i / kStations) % kKinds);
        if (kind == Kind::Adc && a % 4 != 0) kind = Kind::Position;
        const std::string address = std::to_string(a);
        const auto started = Clock::now();
        const bool afterFault = lastFault_ && started - *lastFault_ < kFaultReach;
        std::int32_t value = -1;
        std::int32_t expected = 0;
        int rc = -1;
        switch (kind) {
        case Kind::Position:
            rc = MotorGetPosition(address.c_str(), &value);
            expected = positionOf(a);
            break;
        case Kind::Encoder:
            rc = EncoderGetPosition(address.c_str(), &value);
            expected = encoderOf(a);
            break;
        case Kind::Status:
            rc = MotorGetStatusRegister(address.c_str(), &value);
            expected = statusOf(a);
            break;
        case Kind::Adc: {
            const int channel = static_cast<int>(i / (kStations * kKinds)) % kAdcChannelsUsed;
            rc = GetADCchannel(address.c_str(), 12, channel, &value);
            expected = adcOf(a / 4, channel);
            break;
        }
        case Kind::Probe: rc = CheckControllerAddress(address.c_str()); break;
        case Kind::SlewRate: rc = MotorSlewRate(address.c_str(), 600); break;
        }
        ++r_.transactions;
        // The frames of this transaction: a fault named, or a lone CR (the library's
        // repeat after a time-out).
        std::string disturbance;
        for (const kx4417::Frame &frame : sim_.takeFrames()) {
            if (!frame.fault.empty())
                disturbance = frame.fault.substr(0, frame.fault.find(' '));
            else if (frame.bytes == "\r" && disturbance.empty())
                disturbance = "time-out";
        }
        if (!disturbance.empty()) {
            lastFault_ = Clock::now();
            lastFaultKind_ = disturbance;
        }

        if (rc != 1) {
            const int number = ZelmarGetNumberError();
            ++r_.failures[number];
            if (number == 26) recoverFromHangUp();
            return;
        }
        if (kind == Kind::Probe || kind == Kind::SlewRate) return;
        ++r_.reads;
        if (afterFault || !disturbance.empty()) ++r_.readsAfterFault;
        if (value == expected) return;
        const bool clean = !afterFault && disturbance.empty();
        if (clean) ++r_.wrongClean;
        (known_.count(value) ? r_.wrongOther : r_.wrongCorrupt)++;
        ++r_.wrongAfter[clean ? "no fault" : lastFaultKind_];
        const std::string example = std::string(kKindNames[static_cast<int>(kind)]) + " of " +
                                    address + " (" + std::to_string(expected) + ") read as " +
                                    std::to_string(value) +
                                    (clean ? "" : " after " + lastFaultKind_);
        if (r_.examples.size() < 12 || r_.examples.count(example)) ++r_.examples[example];
    }

    // A line that went away comes back on a fresh pty behind the same link: the port is
    // closed and opened again, as a program would after repeated time-outs.
    void recoverFromHangUp() {
        const auto hangUps = sim_.faultCounts()[static_cast<std::size_t>(kx4417::Fault::HangUp)];
        if (hangUps == hangUpsSeen_) return;
        hangUpsSeen_ = hangUps;
        PortClose();
        const auto end = Clock::now() + 5s;
        while (sim_.slavePath().empty() && Clock::now() < end) std::this_thread::sleep_for(5ms);
        if (PortOpen(1, 9600) == 1) ++r_.reopens;
    }

private:
    kx4417::Simulator &sim_;
    Results &r_;
    std::set<std::int32_t> known_;
    std::optional<Clock::time_point> lastFault_;
    std::string lastFaultKind_;
    std::uint64_t hangUpsSeen_ = 0;
};

void progress(const char *what, long done, long of) {
    if (of >= 100 && done % (of / 100) != 0 && done != of) return;
    std::fprintf(stderr, "\rsoak: %s %ld/%ld", what, done, of);
    if (done == of) std::fputc('\n', stderr);
}

double percent(long part, long whole) { return whole > 0 ? 100.0 * part / whole : 0.0; }

}  // namespace

int main(int argc, char **argv) {
    long transactions = 100000;
    long cycles = 1000;
    double faultRate = 0.01;
    std::uint64_t seed = 1;
    bool check = false;
    CLI::App app{"Soak of the library against the simulator with injected faults.", "soak"};
    app.set_version_flag("--version", "soak (CorvexLink 2.1.1)");
    app.add_option("--transactions", transactions, "export calls against the faulty line")
        ->check(CLI::Range(0L, 100'000'000L))
        ->capture_default_str();
    app.add_option("--cycles", cycles, "PortOpen/PortClose cycles afterwards")
        ->check(CLI::Range(0L, 1'000'000L))
        ->capture_default_str();
    app.add_option("--fault-rate", faultRate,
                   "probability of a fault per answered frame, every kind")
        ->check(CLI::Range(0.0, 1.0))
        ->capture_default_str();
    app.add_option("--seed", seed, "seed of the simulator's fault generator")
        ->capture_default_str();
    app.add_flag("--check", check,
                 "exit 1 on a leaked descriptor or thread, a wrong value on a clean line, or a "
                 "failed cycle");
    CLI11_PARSE(app, argc, argv);

    char dir[] = "/tmp/corvexlink-soak-XXXXXX";
    if (::mkdtemp(dir) == nullptr) {
        std::perror("soak: mkdtemp");
        return 1;
    }
    kx4417::SimOptions options;
    options.stations = {0, 1, 2, 3, 4, 5, 6, 7};
    options.linkPath = std::string(dir) + "/com1";
    options.transcriptLimit = 1000;
    kx4417::Simulator sim(options);
    if (!sim.start()) {
        std::perror("soak: simulator");
        return 1;
    }
    ::setenv("CORVEXLINK_COM1", options.linkPath.c_str(), 1);

    const Resources before = resources();
    Results r;
    Soak soak(sim, r);
    if (PortOpen(1, 9600) != 1 || !soak.prepare()) {
        std::fprintf(stderr, "soak: cannot set up the line: %s\n", ZelmarGetErrorMessage());
        return 1;
    }
    kx4417::FaultPlan plan = kx4417::FaultPlan::everyKind(faultRate, seed);
    sim.setFaults(plan);
    const auto t0 = Clock::now();
    for (long i = 0; i < transactions; ++i) {
        soak.transaction(i);
        progress("transactions", i + 1, transactions);
    }
    const double faultSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const kx4417::FaultCounts faults = sim.faultCounts();
    sim.setFaults({});
    PortClose();

    const auto t1 = Clock::now();
    for (long c = 0; c < cycles; ++c) {
        const bool opened = PortOpen(1, 9600) == 1;
        if (opened && CheckControllerAddress("0") != 1) ++r.cycleProbeFailures;
        if (PortClose() != 1 || !opened) ++r.cycleFailures;
        ++r.cycles;
        progress("open/close cycles", c + 1, cycles);
    }
    const double cycleSeconds = std::chrono::duration<double>(Clock::now() - t1).count();
    // The simulator's thread may hold a descriptor for a moment (it looks at who has the
    // line open after each close): a leak is what is still open after a settling time.
    Resources after = resources();
    for (int i = 0; i < 20 && (after.fds != before.fds || after.threads != before.threads); ++i) {
        std::this_thread::sleep_for(100ms);
        after = resources();
    }

    std::printf("soak: %ld transactions in %.1f s, fault rate %.3f %%, seed %llu\n", r.transactions,
                faultSeconds, faultRate * 100, static_cast<unsigned long long>(seed));
    std::printf("faults injected: %llu\n", static_cast<unsigned long long>(total(faults)));
    for (int k = 0; k < kx4417::kFaultKinds; ++k)
        std::printf("  %-16s %llu\n", kx4417::faultName(static_cast<kx4417::Fault>(k)),
                    static_cast<unsigned long long>(faults[static_cast<std::size_t>(k)]));
    long failed = 0;
    for (const auto &[number, count] : r.failures) failed += count;
    std::printf("failures: %ld (%.3f %%)\n", failed, percent(failed, r.transactions));
    for (const auto &[number, count] : r.failures) std::printf("  error %-4d %ld\n", number, count);
    std::printf("port reopened after a hang-up: %ld\n", r.reopens);
    const long wrong = r.wrongOther + r.wrongCorrupt;
    std::printf(
        "reads returning 1: %ld, of them %ld during or within %lld ms after a fault or time-out\n",
        r.reads, r.readsAfterFault, static_cast<long long>(kFaultReach.count()));
    std::printf("wrong values: %ld (%.3f %% of reads, %.2f %% of reads after a fault)\n", wrong,
                percent(wrong, r.reads), percent(wrong, r.readsAfterFault));
    std::printf("  another command's value (late, second or left-over answer): %ld\n",
                r.wrongOther);
    std::printf("  a value nobody holds (joined pieces, noise read as a number): %ld\n",
                r.wrongCorrupt);
    std::printf("  on a clean line (no fault or time-out within reach): %ld\n", r.wrongClean);
    std::printf("  by the last fault or time-out before them:");
    for (const auto &[fault, count] : r.wrongAfter) std::printf(" %s %ld,", fault.c_str(), count);
    std::printf("\n");
    for (const auto &[example, count] : r.examples)
        std::printf("    e.g. %s (x%ld)\n", example.c_str(), count);
    std::printf("open/close cycles: %ld in %.1f s, %ld failed, %ld probes unanswered\n", r.cycles,
                cycleSeconds, r.cycleFailures, r.cycleProbeFailures);
    std::printf("file descriptors: %ld before, %ld after\n", before.fds, after.fds);
    for (const auto &target : after.fdTargets)
        if (after.fds != before.fds &&
            after.fdTargets.count(target) > before.fdTargets.count(target))
            std::printf("  open after, not before: %s\n", target.c_str());
    std::printf("threads: %ld before, %ld after\n", before.threads, after.threads);
    std::printf("RSS: %ld KiB before, %ld KiB after\n", before.rssKb, after.rssKb);

    sim.stop();
    ::unlink(options.linkPath.c_str());
    ::rmdir(dir);
    if (!check) return 0;
    bool ok = true;
    auto require = [&](bool condition, const char *what) {
        if (!condition) std::printf("soak: FAILED: %s\n", what);
        ok = ok && condition;
    };
    require(after.fds == before.fds, "file descriptors leaked");
    require(after.threads == before.threads, "threads leaked");
    require(r.wrongClean == 0, "a wrong value on a clean line");
    require(r.cycleFailures == 0, "an open or close failed");
    return ok ? 0 : 1;
}
