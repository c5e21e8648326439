// SPDX-License-Identifier: MIT
// Reading a motion profile from a CSV file: one segment a line, "first rate,slope,steps".
#pragma once

#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvexctl {

struct Segment {
    int firstRate = 0;  // steps/s at the start of the segment, 16..10239
    int slope = 0;      // speed change per step, -256..255
    int steps = 0;      // signed number of steps
};

// A line of the file that cannot be a segment; the message names the line.
class ProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Blank lines and lines starting with '#' are skipped; a first line that does not start
// with a number is a header (the profile editor's "Speed ,Acce., Step N." for example).
// Every other line must hold three whole numbers in range, or the whole file is refused.
std::vector<Segment> readProfile(std::istream &in, const std::string &name);

}  // namespace corvexctl
