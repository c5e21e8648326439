// kx4417-sim: simulated stations on a pseudo-terminal until SIGINT or SIGTERM.
//
//   kx4417-sim [--stations 0,1,2,3 | 0-3] [--link PATH] [--wire-time] [--transcript]

#include <kx4417/simulator.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t gStop = 0;

void onSignal(int) { gStop = 1; }

void usage() {
  std::fprintf(stderr,
               "usage: kx4417-sim [--stations LIST] [--link PATH] [--wire-time] [--transcript]\n"
               "  --stations LIST  addresses 0..15, e.g. 0,1,2,3 or 0-3 or 0-3,8 (default 0-3)\n"
               "  --link PATH      keep a symlink to the pty slave at PATH\n"
               "  --wire-time      delay every byte by 10 bit times at the line rate\n"
               "  --transcript     print every received frame with a timestamp\n");
}

// "0,1,2,3", "0-3", "0-3,8,12-15"; false on anything else.
bool parseStations(const std::string& text, std::vector<int>& out) {
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
    } else if (std::sscanf(piece.c_str(), "%d%c%d%n", &first, &dash, &last, &used) != 3 || dash != '-' ||
               static_cast<std::size_t>(used) != piece.size()) {
      return false;
    }
    if (first < 0 || last > 15 || first > last) return false;
    for (int a = first; a <= last; ++a) out.push_back(a);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return !out.empty();
}

std::string visible(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else out += static_cast<char>(c);
  }
  return out;
}

std::string joined(const std::vector<int>& values) {
  std::string out;
  for (int v : values) out += (out.empty() ? "" : ",") + std::to_string(v);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  kx4417::SimOptions options;
  bool transcript = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasNext = i + 1 < argc;
    if (arg == "--stations" && hasNext) {
      if (!parseStations(argv[++i], options.stations)) {
        std::fprintf(stderr, "kx4417-sim: bad station list '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--link" && hasNext) {
      options.linkPath = argv[++i];
    } else if (arg == "--wire-time") {
      options.wireTime = true;
    } else if (arg == "--transcript") {
      transcript = true;
    } else if (arg == "--help" || arg == "-h") {
      usage();
      return 0;
    } else {
      usage();
      return 2;
    }
  }

  struct sigaction action{};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  kx4417::Simulator sim(options);
  if (!sim.start()) {
    std::fprintf(stderr, "kx4417-sim: cannot open a pseudo-terminal%s%s: %s\n",
                 options.linkPath.empty() ? "" : " or create the link ", options.linkPath.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::cout << "kx4417-sim: stations " << joined(options.stations) << " on " << sim.slavePath();
  if (!options.linkPath.empty()) std::cout << " (link " << options.linkPath << ")";
  std::cout << std::endl;

  // The transcript is taken as it grows, so a long run keeps no history in memory.
  const auto started = std::chrono::steady_clock::now();
  while (!gStop) {
    sim.waitForFrames(1, std::chrono::milliseconds(100));
    for (const auto& frame : sim.takeFrames()) {
      if (!transcript) continue;
      double t = std::chrono::duration<double>(frame.at - started).count();
      std::printf("%10.3f %s\n", t, visible(frame.bytes).c_str());
    }
    std::fflush(stdout);
  }
  sim.stop();
  return 0;
}
