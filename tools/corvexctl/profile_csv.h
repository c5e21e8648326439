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

// A byte-order mark at the start is ignored. Blank lines and lines starting with '#' are
// skipped; the first other line is a header when each of its fields is a word (the profile
// editor's "Speed ,Acce., Step N." for example). Every other line must hold three whole
// numbers in range, or the whole file is refused with the number of the line.
std::vector<Segment> readProfile(std::istream &in, const std::string &name);

}  // namespace corvexctl
