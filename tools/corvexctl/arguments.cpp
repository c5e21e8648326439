// SPDX-License-Identifier: MIT
// Address and station-list validators shared by the subcommands.
#include "arguments.h"

#include <CorvexLink.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <sstream>

namespace corvexctl {

namespace {

// A whole decimal number 0..15 (no sign, no blanks, no trailing text).
std::optional<int> addressNumber(const std::string &piece) {
    if (piece.empty() || piece.size() > 2) return std::nullopt;
    for (char c : piece)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int value = std::stoi(piece);
    if (value > CORVEXLINK_ADDRESS_MAX) return std::nullopt;
    return value;
}

std::vector<std::string> splitAtCommas(const std::string &text) {
    std::vector<std::string> pieces;
    std::stringstream stream(text);
    std::string piece;
    while (std::getline(stream, piece, ',')) pieces.push_back(piece);
    if (!text.empty() && text.back() == ',')
        pieces.push_back("");  // a trailing comma is an empty piece
    return pieces;
}

// A whole decimal number with an optional sign; nullopt for anything else, and for a
// number beyond long long (`tooLarge` then says so).
std::optional<long long> decimalWhole(const std::string &text, bool &tooLarge) {
    tooLarge = false;
    std::size_t at = text.size() > 1 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (at == text.size()) return std::nullopt;
    for (std::size_t i = at; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    long long value = 0;
    const char *first = text.data() + (text[0] == '+' ? 1 : 0);
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) tooLarge = true;
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The complaint about `text`, which is not a whole number in decimal.
std::string notWhole(const std::string &text) {
    bool decimal = !text.empty();
    for (char c : text)
        decimal = decimal &&
                  (std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+');
    return "'" + text + "' is not " + (decimal ? "a whole number" : "a number");
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::optional<std::vector<int>> parseAddressList(const std::string &text, bool allowAll) {
    if (allowAll && lower(text) == "all") {
        std::vector<int> all;
        for (int a = CORVEXLINK_ADDRESS_MIN; a <= CORVEXLINK_ADDRESS_MAX; ++a) all.push_back(a);
        return all;
    }
    std::vector<int> addresses;
    for (const auto &piece : splitAtCommas(text)) {
        const auto address = addressNumber(piece);
        if (!address) return std::nullopt;
        addresses.push_back(*address);
    }
    if (addresses.empty()) return std::nullopt;
    return addresses;
}

std::optional<std::vector<int>> parseStationRanges(const std::string &text) {
    std::vector<int> stations;
    for (const auto &piece : splitAtCommas(text)) {
        const auto dash = piece.find('-');
        const auto first = addressNumber(piece.substr(0, dash));
        const auto last = dash == std::string::npos ? first : addressNumber(piece.substr(dash + 1));
        if (!first || !last || *first > *last) return std::nullopt;
        for (int a = *first; a <= *last; ++a) stations.push_back(a);
    }
    if (stations.empty()) return std::nullopt;
    std::sort(stations.begin(), stations.end());
    stations.erase(std::unique(stations.begin(), stations.end()), stations.end());
    return stations;
}

CLI::Validator singleAddress() {
    return CLI::Validator(
        [](std::string &text) -> std::string {
            return addressNumber(text) ? "" : "'" + text + "' is not a station address 0-15";
        },
        "ADDRESS 0-15");
}

CLI::Validator addressList(bool allowAll) {
    return CLI::Validator(
        [allowAll](std::string &text) -> std::string {
            if (parseAddressList(text, allowAll)) return "";
            return "'" + text + "' is not " + (allowAll ? "all or " : "") +
                   "a list of station addresses 0-15";
        },
        allowAll ? "LIST|all" : "LIST");
}

CLI::Validator masterAddress() {
    return CLI::Validator(
        [](std::string &text) -> std::string {
            const auto address = addressNumber(text);
            if (address && *address % 4 == 0) return "";
            return "'" + text + "' is not a board master address (0, 4, 8 or 12)";
        },
        "MASTER 0|4|8|12");
}

CLI::Validator stationRanges() {
    return CLI::Validator(
        [](std::string &text) -> std::string {
            return parseStationRanges(text)
                       ? ""
                       : "'" + text + "' is not a station list such as 0-3 or 0,4-7";
        },
        "STATIONS");
}

CLI::Validator wholeNumber(long long min, long long max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [min, max, range](std::string &text) -> std::string {
            bool tooLarge = false;
            const auto value = decimalWhole(text, tooLarge);
            if (!value && !tooLarge) return notWhole(text);
            if (!value || *value < min || *value > max)
                return "'" + text + "' is not in the range " + range;
            text = std::to_string(*value);
            return "";
        },
        "INT in [" + std::to_string(min) + " - " + std::to_string(max) + "]");
}

CLI::Validator wholeNumberOf(const std::vector<long long> &allowed) {
    std::string set;
    for (long long v : allowed) set += (set.empty() ? "" : ", ") + std::to_string(v);
    std::string shown = set;
    shown.erase(std::remove(shown.begin(), shown.end(), ' '), shown.end());
    return CLI::Validator(
        [allowed, set](std::string &text) -> std::string {
            bool tooLarge = false;
            const auto value = decimalWhole(text, tooLarge);
            if (!value && !tooLarge) return notWhole(text);
            if (!value || std::find(allowed.begin(), allowed.end(), *value) == allowed.end())
                return "'" + text + "' is not one of " + set;
            text = std::to_string(*value);
            return "";
        },
        "{" + shown + "}");
}

CLI::Validator decimalNumber(double min, double max) {
    const auto shown = [](double v) {
        std::ostringstream out;
        out << v;
        return out.str();
    };
    const std::string range = shown(min) + " to " + shown(max);
    return CLI::Validator(
        [min, max, range](std::string &text) -> std::string {
            // Digits with at most one point and an optional sign, nothing else.
            std::size_t digits = 0, points = 0;
            for (std::size_t i = 0; i < text.size(); ++i) {
                const char c = text[i];
                if (std::isdigit(static_cast<unsigned char>(c)))
                    ++digits;
                else if (c == '.')
                    ++points;
                else if (!(i == 0 && (c == '-' || c == '+')))
                    return "'" + text + "' is not a number";
            }
            if (digits == 0 || points > 1) return "'" + text + "' is not a number";
            const double value = std::strtod(text.c_str(), nullptr);
            if (value < min || value > max) return "'" + text + "' is not in the range " + range;
            return "";
        },
        "FLOAT in [" + shown(min) + " - " + shown(max) + "]");
}

}  // namespace corvexctl
