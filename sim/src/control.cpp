// SPDX-License-Identifier: MIT
#include "control.h"

#include <sstream>

#include "kx4417/simulator.h"

namespace kx4417 {

namespace {

// Reads exactly `count` whole numbers and nothing after them.
bool readNumbers(std::istringstream &words, long *out, int count) {
    for (int i = 0; i < count; ++i)
        if (!(words >> out[i])) return false;
    std::string rest;
    return !(words >> rest);
}

bool within(long value, long low, long high) { return value >= low && value <= high; }

}  // namespace

std::string applyControl(Simulator &sim, const std::string &line) {
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb)) return "error: empty command";
    long n[3] = {};
    if (verb == "limit") {
        if (!readNumbers(words, n, 3)) return "error: usage: limit ADDRESS CCW CW";
        if (!within(n[0], 0, 15) || !within(n[1], 0, 1) || !within(n[2], 0, 1))
            return "error: address 0..15, switches 0 or 1";
        sim.setLimitSwitch(static_cast<int>(n[0]), n[1] != 0, n[2] != 0);
        return "ok";
    }
    if (verb == "inputs") {
        if (!readNumbers(words, n, 2)) return "error: usage: inputs ADDRESS VALUE";
        if (!within(n[0], 0, 15) || !within(n[1], 0, 65535))
            return "error: address 0..15, value 0..65535";
        sim.setUserInputs(static_cast<int>(n[0]), static_cast<int>(n[1]));
        return "ok";
    }
    if (verb == "adc") {
        if (!readNumbers(words, n, 3)) return "error: usage: adc MASTER CHANNEL VALUE";
        if (!within(n[0], 0, 15) || n[0] % 4 != 0 || !within(n[1], 0, 10) || !within(n[2], 0, 4095))
            return "error: master 0, 4, 8 or 12, channel 0..10, value 0..4095";
        sim.setAdcChannel(static_cast<int>(n[0]), static_cast<int>(n[1]), static_cast<int>(n[2]));
        return "ok";
    }
    return "error: unknown command '" + verb + "' (limit, inputs, adc)";
}

}  // namespace kx4417
