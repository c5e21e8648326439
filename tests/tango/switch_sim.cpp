// SPDX-License-Identifier: MIT
// The station simulator with limit switches that a test sets: stations on a pty reached
// through a link, like kx4417-sim, plus one command a line on standard input:
//   limit ADDRESS CCW CW      set the two switches of a station (0 or 1 each)
// It prints "ready" once the link exists and "ok" after each command; it ends at the end
// of its input.
//
//   tango_switch_sim LINK ADDRESS...
#include <kx4417/simulator.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::cerr << "usage: tango_switch_sim LINK ADDRESS..." << std::endl;
        return 2;
    }
    kx4417::SimOptions options;
    options.linkPath = argv[1];
    options.stations.clear();
    for (int i = 2; i < argc; ++i) options.stations.push_back(std::atoi(argv[i]));
    kx4417::Simulator sim(options);
    if (!sim.start()) {
        std::cerr << "tango_switch_sim: cannot open a pseudo-terminal" << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string verb;
        int address = 0, ccw = 0, cw = 0;
        if (words >> verb >> address >> ccw >> cw && verb == "limit") {
            sim.setLimitSwitch(address, ccw != 0, cw != 0);
            std::cout << "ok" << std::endl;
        } else {
            std::cout << "? " << line << std::endl;
        }
    }
    sim.stop();
    return 0;
}
