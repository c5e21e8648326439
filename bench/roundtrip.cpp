// One command round trip through the library against the simulator, beside the floor: a
// raw write-then-read of the same frame on the same pseudo-terminal, measured in the same
// run. Also the CPU time that the calling thread spends per transaction (the wait spins).
//
//   bench_roundtrip [iterations]
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "CorvexLink.h"
#include "kx4417/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

struct Stats {
    double median, p10, p90, min, max;
};

Stats summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[static_cast<std::size_t>(q * (v.size() - 1))]; };
    return {at(0.5), at(0.1), at(0.9), v.front(), v.back()};
}

void print(const char *name, const Stats &s) {
    std::printf("%-34s median %8.1f us   p10 %8.1f   p90 %8.1f   min %8.1f   max %8.1f\n", name,
                s.median, s.p10, s.p90, s.min, s.max);
}

// Raw round trip: the frame written and its answer read up to the prompt, no library.
std::vector<double> rawRoundTrips(const std::string &path, int n) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror("open");
        std::exit(1);
    }
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(fd, TCSANOW, &tio);
    std::vector<double> us;
    char buffer[256];
    for (int i = 0; i < n; ++i) {
        const auto t0 = Clock::now();
        if (::write(fd, "_0P\r", 4) != 4) std::exit(1);
        bool prompt = false;
        while (!prompt) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) {
                std::fprintf(stderr, "raw round trip: no answer\n");
                std::exit(1);
            }
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            for (ssize_t k = 0; k < got; ++k) prompt |= buffer[k] == '>';
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    ::close(fd);
    return us;
}

}  // namespace

int main(int argc, char **argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 500;
    kx4417::SimOptions options;
    options.stations = {0};
    kx4417::Simulator sim(options);
    if (!sim.start()) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }

    const Stats raw = summarise(rawRoundTrips(sim.slavePath(), n));

    ::setenv("CORVEXLINK_COM1", sim.slavePath().c_str(), 1);
    if (PortOpen(1, 9600) != 1) {
        std::fprintf(stderr, "PortOpen: %s\n", ZelmarGetErrorMessage());
        return 1;
    }
    std::vector<double> us, cpu;
    for (int i = 0; i < n; ++i) {
        const double c0 = threadCpuUs();
        const auto t0 = Clock::now();
        if (WriteCommandtoKX4417("_0P") != 1) {
            std::fprintf(stderr, "WriteCommandtoKX4417: %s\n", ZelmarGetErrorMessage());
            return 1;
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        cpu.push_back(threadCpuUs() - c0);
    }
    PortClose();
    sim.stop();

    const Stats lib = summarise(us);
    std::printf("round trips of the frame _0P<CR> against kx4417-sim, %d each\n", n);
    print("raw write+read (floor)", raw);
    print("WriteCommandtoKX4417", lib);
    print("caller CPU per transaction", summarise(cpu));
    std::printf("library overhead over the floor: median %+.1f us (x%.2f)\n", lib.median - raw.median,
                lib.median / raw.median);
    return 0;
}
