// SPDX-License-Identifier: MIT
// Technician's words for the library's failures; see messages.h.
#include "messages.h"

#include <CorvexLink.h>

namespace corvexctl {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string stationWords(const std::vector<int> &stations) {
    if (stations.size() == 1) return "station " + std::to_string(stations.front());
    std::string words = "stations ";
    for (std::size_t i = 0; i < stations.size(); ++i) {
        if (i > 0) words += i + 1 == stations.size() ? " and " : ", ";
        words += std::to_string(stations[i]);
    }
    return words;
}

}  // namespace

std::vector<int> stationsOfCommand(std::string_view command) {
    if (command.size() >= 2 && command[0] == '_' && hexDigit(command[1]) >= 0)
        return {hexDigit(command[1])};
    if (command.size() < 4) return {};
    int mask = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int digit = hexDigit(command[i]);
        if (digit < 0) return {};
        mask = mask * 16 + digit;
    }
    std::vector<int> stations;
    for (int address = 0; address < 16; ++address)
        if (mask & (1 << address)) stations.push_back(address);
    return stations;
}

std::string plainMessage(int number, const std::string &text, const std::string &station) {
    if (text.empty()) return "the library refused the arguments";
    if (number != CORVEXLINK_ERR_NO_ANSWER || text.find("COM port timed out") == std::string::npos)
        return text;
    // "<routine>: COM port timed out[, the command may have been executed][ (command = X)]"
    std::vector<int> stations;
    const std::string marker = "(command = ";
    const auto from = text.find(marker);
    const auto to = text.rfind(')');
    if (from != std::string::npos && to != std::string::npos && to > from)
        stations = stationsOfCommand(
            std::string_view(text).substr(from + marker.size(), to - from - marker.size()));
    if (stations.empty() && !station.empty()) stations = {std::stoi(station)};
    std::string message =
        stations.empty() ? "no station answered" : stationWords(stations) + " did not answer";
    if (text.find("may have been executed") != std::string::npos)
        message += "; the command may have been carried out";
    return message;
}

std::optional<std::string> openFailureOf(std::string_view line, int port) {
    const std::string said = "CorvexLink: OpenCommPort --> COM" + std::to_string(port) + ": ";
    if (line.substr(0, said.size()) != said) return std::nullopt;
    std::string failure(line.substr(said.size()));
    while (!failure.empty() && (failure.back() == '\n' || failure.back() == '\r'))
        failure.pop_back();
    return failure;
}

OpenFailure splitOpenFailure(const std::string &failure, const std::string &device) {
    const std::string prefix = device + ": ";
    if (!device.empty() && failure.compare(0, prefix.size(), prefix) == 0)
        return {device, failure.substr(prefix.size())};
    return {device, failure};
}

}  // namespace corvexctl
