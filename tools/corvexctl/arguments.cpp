// SPDX-License-Identifier: MIT
// Address and station-list validators shared by the subcommands.
#include "arguments.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace corvexctl {

namespace {

// A whole decimal number 0..15 (no sign, no blanks, no trailing text).
std::optional<int> addressNumber(const std::string &piece) {
    if (piece.empty() || piece.size() > 2) return std::nullopt;
    for (char c : piece)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int value = std::stoi(piece);
    if (value > 15) return std::nullopt;
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

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::optional<std::vector<int>> parseAddressList(const std::string &text, bool allowAll) {
    if (allowAll && lower(text) == "all") {
        std::vector<int> all(16);
        for (int a = 0; a < 16; ++a) all[a] = a;
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

}  // namespace corvexctl
