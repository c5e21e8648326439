// SPDX-License-Identifier: MIT
// CSV reader of motion profiles.
#include "profile_csv.h"

#include "escaping.h"

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
    const bool letter = std::isalpha(first) || (first >= 0x80 && utf8CharacterLength(field, 0) > 1);
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

constexpr const char kByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

std::vector<Segment> readProfile(std::istream &in, const std::string &name) {
    std::vector<Segment> segments;
    std::string line;
    int lineNumber = 0;
    bool firstContent = true;
    while (std::getline(in, line)) {
        ++lineNumber;
        // Editors that save "UTF-8 with BOM" put the mark before the first line.
        if (lineNumber == 1 && line.compare(0, 3, kByteOrderMark) == 0) line.erase(0, 3);
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == '#') continue;
        const auto fields = fieldsOf(text);
        const bool skipHeader = firstContent && header(fields);
        firstContent = false;
        if (skipHeader) continue;
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
