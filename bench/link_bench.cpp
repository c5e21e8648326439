// SPDX-License-Identifier: MIT
// The link's figures in one table, each beside its baseline measured in the same run:
//  - the calling thread's CPU share during back-to-back transactions against the simulator
//    with wire-time emulation, at 9600 and 115200 baud;
//  - the transaction time against the wire time of its bytes (10 bits a byte);
//  - the round trip against a raw write-then-read of the same frame on the same
//    pseudo-terminal, as the median of interleaved pairs;
//  - a scan of 16 present stations against 16 single round trips, interleaved;
//  - the CPU the library uses while the port is open and idle;
//  - the round trip over rfc2217:// and tcp:// (Debian's ser2net serving the same
//    simulator on loopback) against the local pseudo-terminal, as the median of
//    interleaved runs, without and with wire time at 9600 baud;
//  - how long a stop called from a second thread during a scan takes to reach the station,
//    at 9600 and 115200 baud with wire time (median and maximum over repeated scans), against
//    its bound: one silent probe of the scan, then the stop's own frame;
//  - the transactions per second of 2 and 4 lines worked at once (a thread a line, each with
//    its own simulator, wire time at 9600 baud) against the same number of times one line's;
//  - the round trip through a line handle against the specified function on the same line,
//    as the median of interleaved pairs.
//
//   bench_link [--quick] [--help] [--version]
//
// Every row: figure, baseline, ratio, goal, met. `scripts/bench-plot.sh` turns the table
// into docs/images/bench.png.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CorvexLink.h"
#include "kx4417/simulator.h"
#include "ser2net_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "bench_link: %s: %s\n", what, ZelmarGetErrorMessage());
    std::exit(1);
}

// A simulator with the given stations on its own pty, COM1 pointed at it.
struct Line {
    kx4417::Simulator sim;
    explicit Line(kx4417::SimOptions options) : sim(std::move(options)) {
        if (!sim.start()) {
            std::fprintf(stderr, "bench_link: cannot start the simulator\n");
            std::exit(1);
        }
        ::setenv("CORVEXLINK_COM1", sim.slavePath().c_str(), 1);
    }
    ~Line() { sim.stop(); }
};

kx4417::SimOptions options(std::vector<int> stations, bool wireTime, int rate) {
    kx4417::SimOptions o;
    o.stations = std::move(stations);
    o.wireTime = wireTime;
    o.stationBaudRate = rate;
    return o;
}

void transact(const char *command) {
    if (WriteCommandtoKX4417(command) != 1) fail(command);
}

struct Row {
    std::string name;
    double figure;
    double baseline;
    double ratio;
    double goal;
    std::string unit;
};

double rawRoundTrip(int fd);
int openRaw(const std::string &path);

// Back-to-back "_0P" transactions at `rate` with wire time: the caller's CPU share, and
// the median transaction time against the wire time of its bytes.
void wireRows(int rate, double runSeconds, std::vector<Row> &rows) {
    Line line(options({0}, true, rate));
    // The simulator's own floor: a raw write-then-read of the same frame, no library.
    std::vector<double> raw;
    {
        const int fd = openRaw(line.sim.slavePath());
        for (int i = 0; i < 20; ++i) raw.push_back(rawRoundTrip(fd));
        ::close(fd);
    }
    if (PortOpen(1, rate) != 1) fail("PortOpen");
    transact("_0P");
    const double frameBytes = 4;   // "_0P" CR
    const double answerBytes = 6;  // CR LF "0" CR LF '>'
    const double wireSeconds = (frameBytes + answerBytes) * 10.0 / rate;

    std::vector<double> each;
    const auto start = Clock::now();
    const double cpu0 = threadCpuSeconds();
    while (seconds(Clock::now() - start) < runSeconds) {
        const auto t0 = Clock::now();
        transact("_0P");
        each.push_back(seconds(Clock::now() - t0));
    }
    const double cpu = threadCpuSeconds() - cpu0;
    const double wall = seconds(Clock::now() - start);
    PortClose();

    const std::string r = std::to_string(rate);
    rows.push_back({"caller CPU share, " + r + " baud", cpu, wall, cpu / wall,
                    rate <= 9600 ? 0.02 : 0.10, "s"});
    rows.push_back({"transaction / wire time, " + r + " baud", median(each), wireSeconds,
                    median(each) / wireSeconds, 1.03, "s"});
    rows.push_back({"  raw write+read / wire time, " + r + " baud", median(raw), wireSeconds,
                    median(raw) / wireSeconds, -1, "s"});
}

// One raw round trip of "_0P" on an open descriptor of the pty: write, read to the prompt.
double rawRoundTrip(int fd) {
    char buffer[256];
    const auto t0 = Clock::now();
    if (::write(fd, "_0P\r", 4) != 4) {
        std::perror("bench_link: raw write");
        std::exit(1);
    }
    bool prompt = false;
    while (!prompt) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) {
            std::fprintf(stderr, "bench_link: raw round trip: no answer\n");
            std::exit(1);
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        for (ssize_t k = 0; k < got; ++k) prompt |= buffer[k] == '>';
    }
    return seconds(Clock::now() - t0);
}

// Opens the simulator's line raw. The rate stays the one already programmed on the line
// (the simulator's station rate, or the library's last), which is the rate under test.
int openRaw(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror("bench_link: open");
        std::exit(1);
    }
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);  // keeps the speed fields
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Pairs of (raw round trip, library round trip), taken in turns on the same pty: the raw
// side while the library's port is closed, the library's while it is open. Each side runs
// one round trip to warm up before the one measured.
void roundTripRow(int pairs, std::vector<Row> &rows) {
    Line line(options({0}, false, 9600));
    std::vector<double> raw, lib;
    for (int i = 0; i < pairs; ++i) {
        const int fd = openRaw(line.sim.slavePath());
        rawRoundTrip(fd);
        raw.push_back(rawRoundTrip(fd));
        ::close(fd);
        if (PortOpen(1, 9600) != 1) fail("PortOpen");
        transact("_0P");
        const auto t0 = Clock::now();
        transact("_0P");
        lib.push_back(seconds(Clock::now() - t0));
        PortClose();
    }
    rows.push_back({"round trip / raw write+read", median(lib), median(raw),
                    median(lib) / median(raw), 1.10, "s"});
}

// Round trips with a trace handler set against round trips without one, in turns on one
// open port: what the trace costs a caller who uses it. Without a handler the trace is one
// test of a pointer, which the "round trip / raw write+read" row above already contains.
void traceRow(int pairs, std::vector<Row> &rows) {
    Line line(options({0}, false, 9600));
    if (PortOpen(1, 9600) != 1) fail("PortOpen");
    transact("_0P");
    long events = 0;
    const CorvexLinkTraceHandler count = [](const CorvexLinkTraceEvent *, void *context) {
        ++*static_cast<long *>(context);
    };
    std::vector<double> with, without;
    for (int i = 0; i < pairs; ++i) {
        CorvexLinkSetTraceHandler(count, &events);
        auto t0 = Clock::now();
        transact("_0P");
        with.push_back(seconds(Clock::now() - t0));
        CorvexLinkSetTraceHandler(nullptr, nullptr);
        t0 = Clock::now();
        transact("_0P");
        without.push_back(seconds(Clock::now() - t0));
    }
    PortClose();
    if (events < 2L * pairs) fail("trace handler");
    rows.push_back({"round trip, traced / not traced", median(with), median(without),
                    median(with) / median(without), 1.05, "s"});
}

// A scan of 16 present stations against 16 single round trips, taken in turns.
void scanRow(int pairs, std::vector<Row> &rows) {
    std::vector<int> all;
    for (int a = 0; a < 16; ++a) all.push_back(a);
    Line line(options(all, false, 9600));
    if (PortOpen(1, 9600) != 1) fail("PortOpen");
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE];
    std::vector<double> scans, singles;
    for (int i = 0; i < pairs; ++i) {
        auto t0 = Clock::now();
        if (GetConnectedControllers(list) != 1) fail("GetConnectedControllers");
        scans.push_back(seconds(Clock::now() - t0));
        t0 = Clock::now();
        for (int a = 0; a < 16; ++a) {
            char probe[4];
            std::snprintf(probe, sizeof probe, "_%X", a);
            transact(probe);
        }
        singles.push_back(seconds(Clock::now() - t0));
    }
    PortClose();
    rows.push_back({"scan of 16 / 16 round trips", median(scans), median(singles),
                    median(scans) / median(singles), 1.1, "s"});
}

std::set<long> threadIds() {
    std::set<long> ids;
    if (DIR *d = ::opendir("/proc/self/task")) {
        while (const dirent *e = ::readdir(d)) {
            if (e->d_name[0] != '.') ids.insert(std::strtol(e->d_name, nullptr, 10));
        }
        ::closedir(d);
    }
    return ids;
}

// CPU seconds that thread `tid` of this process has run: the scheduler's nanosecond count
// where the kernel keeps one, else user + system time in clock ticks.
double taskCpuSeconds(long tid) {
    const std::string base = "/proc/self/task/" + std::to_string(tid);
    if (FILE *f = std::fopen((base + "/schedstat").c_str(), "r")) {
        unsigned long long ns = 0;
        const bool ok = std::fscanf(f, "%llu", &ns) == 1;
        std::fclose(f);
        if (ok) return static_cast<double>(ns) / 1e9;
    }
    FILE *f = std::fopen((base + "/stat").c_str(), "r");
    if (f == nullptr) return 0;
    char text[1024] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = '\0';
    const char *p = std::strrchr(text, ')');  // fields after the command name
    if (p == nullptr) return 0;
    unsigned long utime = 0, stime = 0;
    // state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime
    if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) !=
        2)
        return 0;
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The CPU that the library's own threads (the receive worker) use while the port is open
// and no command runs. The caller only sleeps meanwhile and is not counted.
void idleRow(double idleSeconds, std::vector<Row> &rows) {
    Line line(options({0}, false, 9600));
    const std::set<long> before = threadIds();
    if (PortOpen(1, 9600) != 1) fail("PortOpen");
    std::vector<long> library;
    for (long id : threadIds()) {
        if (before.count(id) == 0) library.push_back(id);
    }
    auto libraryCpu = [&] {
        double s = 0;
        for (long id : library) s += taskCpuSeconds(id);
        return s;
    };
    const double cpu0 = libraryCpu();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double cpu = libraryCpu() - cpu0;
    const double wall = seconds(Clock::now() - t0);
    PortClose();
    rows.push_back({"idle CPU share, port open", cpu, wall, cpu / wall, 0.0, "s"});
}

// The median round trip of "_0P" on COM1 after `open` names it: each run opens the port,
// warms it with one round trip, measures one, and closes it.
double openedRoundTrip(const std::string &name) {
    ::setenv("CORVEXLINK_COM1", name.c_str(), 1);
    if (PortOpen(1, 9600) != 1) fail(("PortOpen " + name).c_str());
    const std::string what = "_0P on " + name;
    if (WriteCommandtoKX4417("_0P") != 1) fail(what.c_str());
    const auto t0 = Clock::now();
    if (WriteCommandtoKX4417("_0P") != 1) fail(what.c_str());
    const double s = seconds(Clock::now() - t0);
    PortClose();
    // ser2net releases the device a little after a client leaves; until then a client of
    // its other port is refused.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return s;
}

// Round trips over the network against the local pty, taken in turns (local, rfc2217://,
// tcp://) on the same simulator. Without ser2net the rows are left out, with a note.
void networkRows(int runs, bool wireTime, std::vector<Row> &rows) {
    Line line(options({0}, wireTime, 9600));
    const std::string local = line.sim.slavePath();
    corvex::test::Ser2net server(local);
    if (!server.start()) {
        std::fprintf(stderr, "bench_link: network rows left out: %s\n", server.log().c_str());
        return;
    }
    std::vector<double> pty, rfc, raw;
    for (int i = 0; i < runs; ++i) {
        pty.push_back(openedRoundTrip(local));
        rfc.push_back(openedRoundTrip(server.rfc2217Url()));
        raw.push_back(openedRoundTrip(server.tcpUrl()));
    }
    ::setenv("CORVEXLINK_COM1", local.c_str(), 1);
    const std::string how = wireTime ? ", wire time 9600" : " round trip";
    // With wire time the line dominates and the network must add little; without it the
    // ratio is the network's own cost, shown for reference.
    const double goal = wireTime ? 1.05 : -1;
    rows.push_back({"rfc2217:// / local" + how, median(rfc), median(pty), median(rfc) / median(pty),
                    goal, "s"});
    rows.push_back(
        {"tcp:// / local" + how, median(raw), median(pty), median(raw) / median(pty), goal, "s"});
}

// A scan on one thread (4 stations present, 12 silent probes of 200 ms each) and, at a
// different moment of each run, MotorStop("0") on another: the time from the stop's call to
// its frame at the station.
void stopRows(int rate, int runs, std::vector<Row> &rows) {
    Line line(options({0, 1, 2, 3}, true, rate));
    if (PortOpen(1, rate) != 1) fail("PortOpen");
    std::vector<double> latencies;
    for (int run = 0; run < runs; ++run) {
        line.sim.clearTranscript();
        char list[CORVEXLINK_CONTROLLER_LIST_SIZE];
        std::thread scan([&list] {
            if (GetConnectedControllers(list) != 1) fail("GetConnectedControllers");
        });
        // Spread over the silent probes: 150 ms into the scan and on, in steps that do not
        // divide the probe's 200 ms.
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + (run * 170) % 2000));
        const auto called = Clock::now();
        if (MotorStop("0") != 1) fail("MotorStop");
        scan.join();
        for (const kx4417::Frame &f : line.sim.frames()) {
            if (f.bytes == "_0H\r") {
                latencies.push_back(seconds(f.at - called));
                break;
            }
        }
    }
    PortClose();
    // The bound: one silent probe (its 3 bytes and the 200 ms wait), then the stop's 4 bytes.
    const double bound = 0.200 + 7 * 10.0 / rate;
    const double worst = *std::max_element(latencies.begin(), latencies.end());
    const std::string r = std::to_string(rate);
    rows.push_back({"stop during a scan, median, " + r + " baud", median(latencies), bound,
                    median(latencies) / bound, 1.0, "s"});
    rows.push_back(
        {"stop during a scan, maximum, " + r + " baud", worst, bound, worst / bound, 1.0, "s"});
}

// Back-to-back position reads on `count` lines at once, a thread a line, each line with its
// own simulator and wire time at 9600 baud: the transactions per second of all lines together.
double linesThroughput(int count, double runSeconds) {
    std::vector<std::unique_ptr<kx4417::Simulator>> sims;
    std::vector<CorvexLinkLine *> lines;
    for (int i = 0; i < count; ++i) {
        sims.push_back(std::make_unique<kx4417::Simulator>(options({0}, true, 9600)));
        if (!sims.back()->start()) fail("simulator");
        CorvexLinkLine *line = nullptr;
        CorvexLinkResult result{};
        if (CorvexLinkLineOpen(sims.back()->slavePath().c_str(), 9600, &line, &result) != 1)
            fail(result.message);
        lines.push_back(line);
    }
    std::atomic<long> done{0};
    std::vector<std::thread> threads;
    const auto end = Clock::now() + std::chrono::duration<double>(runSeconds);
    const auto started = Clock::now();
    for (CorvexLinkLine *line : lines) {
        threads.emplace_back([line, end, &done] {
            while (Clock::now() < end) {
                int32_t position = 0;
                if (CorvexLinkLineMotorGetPosition(line, "0", &position) != 1)
                    fail(CorvexLinkLineGetErrorMessage(line));
                ++done;
            }
        });
    }
    for (std::thread &t : threads) t.join();
    const double rate = static_cast<double>(done.load()) / seconds(Clock::now() - started);
    for (CorvexLinkLine *line : lines) CorvexLinkLineClose(line);
    for (auto &sim : sims) sim->stop();
    return rate;
}

// 2 and 4 lines worked at once against as many times one line's rate: the goal is at least
// 0.95 of it, so the ratio (N x one line / N lines together) is at most 1/0.95.
void linesRows(double runSeconds, std::vector<Row> &rows) {
    const double one = linesThroughput(1, runSeconds);
    rows.push_back({"transactions/s, one line", one, one, 1.0, -1.0, "1/s"});
    for (int count : {2, 4}) {
        const double together = linesThroughput(count, runSeconds);
        const std::string n = std::to_string(count);
        rows.push_back({n + " x one line / " + n + " lines at once", count * one, together,
                        count * one / together, 1.0 / 0.95, "1/s"});
    }
}

// The round trip through the default line's handle against the specified function on the
// same open port, taken in turns.
void handleRow(int pairs, std::vector<Row> &rows) {
    Line line(options({0}, false, 9600));
    if (PortOpen(1, 9600) != 1) fail("PortOpen");
    CorvexLinkLine *handle = CorvexLinkDefaultLine();
    std::vector<double> viaHandle, specified;
    for (int i = 0; i < pairs; ++i) {
        int32_t position = 0;
        auto t0 = Clock::now();
        if (CorvexLinkLineMotorGetPosition(handle, "0", &position) != 1) fail("line form");
        viaHandle.push_back(seconds(Clock::now() - t0));
        t0 = Clock::now();
        if (MotorGetPosition("0", &position) != 1) fail("MotorGetPosition");
        specified.push_back(seconds(Clock::now() - t0));
    }
    PortClose();
    rows.push_back({"round trip, line handle / specified", median(viaHandle), median(specified),
                    median(viaHandle) / median(specified), 1.0, "s"});
}

void printTable(const std::vector<Row> &rows) {
    std::printf("%-40s %12s %12s %9s %7s  %s\n", "measure", "figure", "baseline", "ratio", "goal",
                "met");
    for (const Row &r : rows) {
        if (r.goal < 0) {  // a reference figure without a goal of its own
            std::printf("%-40s %12.6f %12.6f %9.4f %7s  %s\n", r.name.c_str(), r.figure, r.baseline,
                        r.ratio, "-", "-");
            continue;
        }
        const bool met = r.goal == 0.0 ? r.figure == 0.0 : r.ratio <= r.goal;
        std::printf("%-40s %12.6f %12.6f %9.4f %7.3f  %s\n", r.name.c_str(), r.figure, r.baseline,
                    r.ratio, r.goal, met ? "yes" : "no");
    }
}

}  // namespace

int main(int argc, char **argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf(
                "usage: bench_link [--quick]\n"
                "Prints the link's figures against the simulator as one table: measure, figure,\n"
                "baseline, ratio (figure / baseline), goal for the ratio, met.\n"
                "  --quick   shorter runs (noisier figures)\n");
            return 0;
        }
        if (a == "--version") {
            std::printf("bench_link %d.%d.%d\n", CORVEXLINK_VERSION_MAJOR, CORVEXLINK_VERSION_MINOR,
                        CORVEXLINK_VERSION_PATCH);
            return 0;
        }
        if (a == "--quick") {
            quick = true;
        } else {
            std::fprintf(stderr, "bench_link: unknown argument '%s' (see --help)\n", a.c_str());
            return 2;
        }
    }
    const double run = quick ? 0.5 : 2.0;
    const int pairs = quick ? 10 : 40;  // each pair opens and closes the port (0.6 s)

    std::vector<Row> rows;
    std::fprintf(stderr, "bench_link: wire time at 9600 baud...\n");
    wireRows(9600, run, rows);
    std::fprintf(stderr, "bench_link: wire time at 115200 baud...\n");
    wireRows(115200, run, rows);
    std::fprintf(stderr, "bench_link: round trips against raw write+read (%d pairs)...\n", pairs);
    roundTripRow(pairs, rows);
    std::fprintf(stderr, "bench_link: round trips with and without a trace handler...\n");
    traceRow(quick ? 50 : 400, rows);
    std::fprintf(stderr, "bench_link: scans against single round trips...\n");
    scanRow(quick ? 10 : 30, rows);
    std::fprintf(stderr, "bench_link: idle port...\n");
    idleRow(quick ? 0.5 : 2.0, rows);
    std::fprintf(stderr, "bench_link: round trips over the network against the local line...\n");
    networkRows(quick ? 5 : 30, false, rows);
    networkRows(quick ? 5 : 30, true, rows);
    for (int rate : {9600, 115200}) {
        std::fprintf(stderr, "bench_link: stops during scans at %d baud...\n", rate);
        stopRows(rate, quick ? 3 : 12, rows);
    }
    std::fprintf(stderr, "bench_link: 1, 2 and 4 lines at once...\n");
    linesRows(quick ? 1.0 : 4.0, rows);
    std::fprintf(stderr, "bench_link: round trips through a line handle...\n");
    handleRow(quick ? 50 : 400, rows);
    printTable(rows);
    return 0;
}
