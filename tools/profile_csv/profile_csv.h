// SPDX-License-Identifier: MIT
// Motion profiles as CSV files: one segment a line, "first rate,slope,steps". The one
// reader and writer of the format, shared by corvexctl (which queues a file in a station's
// FIFO) and DemoCorvexLink (whose profile editor saves and loads them).
#pragma once

#include <CorvexLink.h>

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvexlink::profilecsv {

// What a station's FIFO takes for each value of a segment: the library's limits.
inline constexpr long kFirstRateMin = CORVEXLINK_RATE_MIN,
                      kFirstRateMax = CORVEXLINK_FIXED_SPEED_MAX;
inline constexpr long kSlopeMin = CORVEXLINK_FIFO_SLOPE_MIN, kSlopeMax = CORVEXLINK_FIFO_SLOPE_MAX;
inline constexpr long kStepsMin = -CORVEXLINK_COUNT_MAX, kStepsMax = CORVEXLINK_COUNT_MAX;

// The largest profile file read, in bytes: some fifty thousand segments, far beyond any
// profile a station plays, and small enough to read at once.
inline constexpr std::uintmax_t kLargestFile = 1024 * 1024;

// The header line the writer puts first; the same words head the profile editor's list.
inline constexpr const char *kHeader = "Speed ,Acce., Step N.";

struct Segment {
    std::int32_t firstRate = 0;  // steps/s at the start of the segment
    std::int32_t slope = 0;      // speed change per step
    std::int32_t steps = 0;      // signed number of steps
    bool operator==(const Segment &) const = default;
};

// A file, or a profile, that cannot be used. what() is "<name>:<line>: <reason>" for a
// line of a file, "<name>: <reason>" otherwise; line() is 0 when no line is to blame.
class ProfileError : public std::runtime_error {
public:
    ProfileError(const std::string &name, int line, const std::string &reason);
    int line() const { return line_; }
    const std::string &reason() const { return reason_; }

private:
    int line_;
    std::string reason_;
};

// Why a station's FIFO cannot take `segment` ("slope 300 is outside -256..255"), or
// nothing when every value is in range.
std::optional<std::string> segmentProblem(const Segment &segment);

// Reads a profile. A byte-order mark at the start is ignored. Blank lines and lines
// starting with '#' are skipped; the first other line is a header when each of its fields
// is a word (the profile editor's "Speed ,Acce., Step N." for example). Every other line
// must hold three whole numbers in range, or the whole file is refused with the number of
// the line. A file without any segment is refused too. `name` names the file in errors.
// Never more than kLargestFile bytes and one more are read: a longer stream is refused
// ("larger than 1048576 bytes"), and so is one whose read fails ("cannot be read (...)").
std::vector<Segment> readProfile(std::istream &in, const std::string &name);

// Reads the profile in the file at `path` as readProfile() does. Only a regular file (a link
// to one is fine) of at most kLargestFile bytes is opened; anything else is refused with the
// reason: "not a regular file (a FIFO)" (also a folder, a character or block device, a
// socket), "a symbolic link to nothing", "cannot be read (<system message>)", "larger than
// 1048576 bytes (<size> bytes)". A FIFO would wait for a writer without end, and a device
// such as /dev/zero never ends; a file that grows after the check meets readProfile's bound.
std::vector<Segment> readProfileFile(const std::string &path, const std::string &name);

// Writes `segments` under the header, one line each, in the form readProfile() reads.
// Refuses (before writing anything) an empty profile and a segment that a station's FIFO
// cannot take, naming the segment (counted from 1) in the error.
void writeProfile(std::ostream &out, const std::vector<Segment> &segments, const std::string &name);

}  // namespace corvexlink::profilecsv
