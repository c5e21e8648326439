// SPDX-License-Identifier: MIT
// Commands that set what the stations' surroundings show them, one text line each, for a
// program that drives kx4417-sim from outside (`kx4417-sim --control` reads them from its
// standard input):
//   limit ADDRESS CCW CW        the two limit switches of a station (0 or 1 each)
//   inputs ADDRESS VALUE        the user inputs a station reads (0..65535)
//   adc MASTER CHANNEL VALUE    an analog input of a board (master 0, 4, 8 or 12; channel
//                               0..10; value 0..4095)
#pragma once

#include <string>

namespace kx4417 {

class Simulator;

// Applies one command line; the reply is "ok", or "error: " and what is wrong with it.
std::string applyControl(Simulator &sim, const std::string &line);

}  // namespace kx4417
