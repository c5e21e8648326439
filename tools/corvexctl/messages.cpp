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
    for (int address = CORVEXLINK_ADDRESS_MIN; address <= CORVEXLINK_ADDRESS_MAX; ++address)
        if (mask & (1 << address)) stations.push_back(address);
    return stations;
}

std::string plainMessage(int number, const std::string &text, const std::string &sent,
                         const std::string &station) {
    if (text.empty()) return "the library refused the arguments";
    if (number != CORVEXLINK_ERR_NO_ANSWER) return text;
    std::vector<int> stations = stationsOfCommand(sent);
    if (stations.empty() && !station.empty()) stations = {std::stoi(station)};
    std::string message =
        stations.empty() ? "no station answered" : stationWords(stations) + " did not answer";
    // The library says so of a command it does not repeat, such as a relative move.
    if (text.find("may have been executed") != std::string::npos)
        message += "; the command may have been carried out";
    return message;
}

namespace {

const char *reasonCode(int reason) {
    switch (reason) {
    case CORVEXLINK_OPEN_NO_DEVICE: return "no_device";
    case CORVEXLINK_OPEN_PERMISSION_DENIED: return "permission_denied";
    case CORVEXLINK_OPEN_IN_USE: return "in_use";
    case CORVEXLINK_OPEN_REFUSED: return "refused";
    case CORVEXLINK_OPEN_TIMED_OUT: return "timed_out";
    case CORVEXLINK_OPEN_MALFORMED_NAME: return "malformed_name";
    case CORVEXLINK_OPEN_NOT_SERIAL: return "not_serial";
    default: return "other";
    }
}

// n for a line named "COM<n>" (any case) or "<n>", as the library reads such names; else 0.
int comPortNumber(const std::string &name) {
    std::string digits = name;
    if (digits.size() > 3 && (digits[0] == 'C' || digits[0] == 'c') &&
        (digits[1] == 'O' || digits[1] == 'o') && (digits[2] == 'M' || digits[2] == 'm'))
        digits = digits.substr(3);
    if (digits.empty() || digits.size() > 6) return 0;
    for (char c : digits)
        if (c < '0' || c > '9') return 0;
    return std::stoi(digits);
}

// What follows `prefix` in `text`, or the whole text when it does not start so.
std::string after(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
}

}  // namespace

Failure openFailure(const std::string &name, const CorvexLinkResult &result) {
    const std::string message = result.message;
    const std::string device = result.device;
    // The result's message is "Unable to open COM port: <device>: <reason>".
    const std::string reason =
        after(after(message, "Unable to open COM port: "), device.empty() ? "" : device + ": ");
    std::string shown = "cannot open " + name;
    if (!device.empty() && device != name) shown += ": " + device;
    shown += ": " + reason;
    const int port = comPortNumber(name);
    nlohmann::json details = {{"reason", reason}, {"reason_code", reasonCode(result.reason)}};
    details["port"] = port > 0 ? nlohmann::json(port) : nlohmann::json(nullptr);
    details["device"] = device.empty() ? nlohmann::json(nullptr) : nlohmann::json(device);
    return Failure(shown, result.number, message, std::move(details));
}

}  // namespace corvexctl
