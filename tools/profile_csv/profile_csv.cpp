// SPDX-License-Identifier: MIT
// CSV reader and writer of motion profiles.
#include "profile_csv.h"

#include "utf8.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace corvexlink::profilecsv {

namespace {

std::string trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// A whole signed decimal number within [low, high]; false for anything else.
bool wholeNumber(const std::string &text, long low, long high, std::int32_t &out) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || !(std::isdigit(static_cast<unsigned char>(text.back()))))
        return false;
    if (value < low || value > high) return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

std::vector<std::string> fieldsOf(const std::string &text) {
    std::vector<std::string> fields;
    std::stringstream pieces(text);
    std::string piece;
    while (std::getline(pieces, piece, ',')) fields.push_back(trimmed(piece));
    if (!text.empty() && text.back() == ',') fields.push_back("");
    return fields;
}

// A word starts with an ASCII letter or a character beyond ASCII, and is not a number in
// words ("nan", "inf", "infinity", which strtod reads as numbers).
bool word(const std::string &field) {
    if (field.empty()) return false;
    const auto first = static_cast<unsigned char>(field[0]);
    const bool letter =
        std::isalpha(first) || (first >= 0x80 && text::utf8CharacterLength(field, 0) > 1);
    if (!letter) return false;
    char *end = nullptr;
    std::strtod(field.c_str(), &end);
    return *end != '\0';
}

// A header names the columns: every field of the line is a word.
bool header(const std::vector<std::string> &fields) {
    for (const auto &field : fields)
        if (!word(field)) return false;
    return true;
}

std::string range(long low, long high) {
    return std::to_string(low) + (low < 0 ? ".." : "-") + std::to_string(high);
}

constexpr const char kByteOrderMark[] = "\xEF\xBB\xBF";

// What kind of file a type names, for the refusal of a file that is not a plain one.
const char *fileKind(std::filesystem::file_type type) {
    using std::filesystem::file_type;
    switch (type) {
    case file_type::directory: return "a folder";
    case file_type::fifo: return "a FIFO";
    case file_type::character: return "a character device";
    case file_type::block: return "a block device";
    case file_type::socket: return "a socket";
    default: return "not a file";
    }
}

std::string largerThanTheBound() {
    return "larger than " + std::to_string(kLargestFile) + " bytes";
}

// The whole text of a stream: never more than kLargestFile bytes and one more are read, so an
// endless stream is refused after that much, as is a read that fails.
std::string boundedText(std::istream &in, const std::string &name) {
    std::string text(kLargestFile + 1, '\0');
    errno = 0;
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad())
        throw ProfileError(name, 0,
                           std::string("cannot be read (") +
                               (errno ? std::strerror(errno) : "a read failed") + ")");
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kLargestFile) throw ProfileError(name, 0, largerThanTheBound());
    return text;
}

}  // namespace

ProfileError::ProfileError(const std::string &name, int line, const std::string &reason)
    : std::runtime_error(name + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " +
                         reason),
      line_(line), reason_(reason) {}

std::optional<std::string> segmentProblem(const Segment &segment) {
    const auto outside = [](const char *what, long value, long low, long high) {
        return std::string(what) + " " + std::to_string(value) + " is outside " + range(low, high);
    };
    if (segment.firstRate < kFirstRateMin || segment.firstRate > kFirstRateMax)
        return outside("first rate", segment.firstRate, kFirstRateMin, kFirstRateMax);
    if (segment.slope < kSlopeMin || segment.slope > kSlopeMax)
        return outside("slope", segment.slope, kSlopeMin, kSlopeMax);
    if (segment.steps < kStepsMin || segment.steps > kStepsMax)
        return outside("steps", segment.steps, kStepsMin, kStepsMax);
    return std::nullopt;
}

std::vector<Segment> readProfile(std::istream &in, const std::string &name) {
    std::istringstream lines(boundedText(in, name));
    std::vector<Segment> segments;
    std::string line;
    int lineNumber = 0;
    bool firstContent = true;
    while (std::getline(lines, line)) {
        ++lineNumber;
        // Editors that save "UTF-8 with BOM" put the mark before the first line.
        if (lineNumber == 1 && line.compare(0, 3, kByteOrderMark) == 0) line.erase(0, 3);
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == '#') continue;
        const auto fields = fieldsOf(text);
        const bool skipHeader = firstContent && header(fields);
        firstContent = false;
        if (skipHeader) continue;
        const auto refuse = [&](const std::string &reason) {
            throw ProfileError(name, lineNumber, reason);
        };
        if (fields.size() != 3)
            refuse("expected three numbers (first rate, slope, steps), found " +
                   std::to_string(fields.size()) + " fields");
        Segment segment;
        if (!wholeNumber(fields[0], kFirstRateMin, kFirstRateMax, segment.firstRate))
            refuse("first rate '" + fields[0] + "' is not a whole number " +
                   range(kFirstRateMin, kFirstRateMax));
        if (!wholeNumber(fields[1], kSlopeMin, kSlopeMax, segment.slope))
            refuse("slope '" + fields[1] + "' is not a whole number " +
                   range(kSlopeMin, kSlopeMax));
        if (!wholeNumber(fields[2], kStepsMin, kStepsMax, segment.steps))
            refuse("steps '" + fields[2] + "' is not a whole number " +
                   range(kStepsMin, kStepsMax));
        segments.push_back(segment);
    }
    if (segments.empty()) throw ProfileError(name, 0, "no segment in the file");
    return segments;
}

std::vector<Segment> readProfileFile(const std::string &path, const std::string &name) {
    namespace fs = std::filesystem;
    const auto refuse = [&](const std::string &reason) { throw ProfileError(name, 0, reason); };
    const auto unreadable = [&](const std::string &why) { refuse("cannot be read (" + why + ")"); };
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) {
        std::error_code ignored;
        if (fs::is_symlink(fs::symlink_status(path, ignored))) refuse("a symbolic link to nothing");
        unreadable(std::make_error_code(std::errc::no_such_file_or_directory).message());
    }
    if (error) unreadable(error.message());
    if (status.type() != fs::file_type::regular)
        refuse(std::string("not a regular file (") + fileKind(status.type()) + ")");
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) unreadable(error.message());
    if (size > kLargestFile) refuse(largerThanTheBound() + " (" + std::to_string(size) + " bytes)");
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) unreadable(errno ? std::strerror(errno) : "it cannot be opened");
    // Read within the bound: a file that grew since the check is refused too.
    return readProfile(in, name);
}

void writeProfile(std::ostream &out, const std::vector<Segment> &segments,
                  const std::string &name) {
    if (segments.empty()) throw ProfileError(name, 0, "the profile holds no segment");
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (const auto problem = segmentProblem(segments[i]))
            throw ProfileError(name, 0, "segment " + std::to_string(i + 1) + ": " + *problem);
    out << kHeader << '\n';
    for (const Segment &segment : segments)
        out << segment.firstRate << ',' << segment.slope << ',' << segment.steps << '\n';
}

}  // namespace corvexlink::profilecsv
