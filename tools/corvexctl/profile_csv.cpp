// SPDX-License-Identifier: MIT
// CSV reader of motion profiles.
#include "profile_csv.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace corvexctl {

namespace {

std::string trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// A whole signed decimal number within [low, high]; false for anything else.
bool wholeNumber(const std::string &text, long low, long high, int &out) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || !(std::isdigit(static_cast<unsigned char>(text.back()))))
        return false;
    if (value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

}  // namespace

std::vector<Segment> readProfile(std::istream &in, const std::string &name) {
    std::vector<Segment> segments;
    std::string line;
    int lineNumber = 0;
    bool firstContent = true;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == '#') continue;
        const bool startsWithNumber =
            std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' || text[0] == '+';
        if (firstContent && !startsWithNumber) {
            firstContent = false;
            continue;
        }
        firstContent = false;
        std::vector<std::string> fields;
        std::stringstream pieces(text);
        std::string piece;
        while (std::getline(pieces, piece, ',')) fields.push_back(trimmed(piece));
        if (!text.empty() && text.back() == ',') fields.push_back("");
        const std::string where = name + ":" + std::to_string(lineNumber) + ": ";
        if (fields.size() != 3)
            throw ProfileError(where + "expected three numbers (first rate, slope, steps), found " +
                               std::to_string(fields.size()) + " fields");
        Segment segment;
        if (!wholeNumber(fields[0], 16, 10239, segment.firstRate))
            throw ProfileError(where + "first rate '" + fields[0] +
                               "' is not a whole number 16-10239");
        if (!wholeNumber(fields[1], -256, 255, segment.slope))
            throw ProfileError(where + "slope '" + fields[1] + "' is not a whole number -256..255");
        if (!wholeNumber(fields[2], -8388607, 8388607, segment.steps))
            throw ProfileError(where + "steps '" + fields[2] +
                               "' is not a whole number -8388607..8388607");
        segments.push_back(segment);
    }
    if (segments.empty()) throw ProfileError(name + ": no segment in the file");
    return segments;
}

}  // namespace corvexctl
