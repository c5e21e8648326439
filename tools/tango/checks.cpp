// SPDX-License-Identifier: MIT
// Written values, the port setting, the station list and the status register read into
// what the server needs; nothing here touches the line or Tango.
#include "checks.h"

#include "failure.h"

#include <CorvexLink.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace corvextango {

namespace {

constexpr long kStationRates[] = {9600, 19200, 38400, 57600, 115200};

[[noreturn]] void refuse(const std::string &what, long low, long high, const std::string &unit,
                         const std::string &given) {
    std::ostringstream text;
    text << what << " must be a whole number from " << low << " to " << high;
    if (!unit.empty()) text << ' ' << unit;
    text << "; " << given << " was refused and nothing was sent";
    throw Failure(FailureKind::Argument, text.str());
}

}  // namespace

std::int32_t wholeNumber(double value, long low, long high, const std::string &what,
                         const std::string &unit) {
    // The comparisons come before any conversion: a double outside the range of long
    // (1e12 on a 32-bit long, 1e300 anywhere) must never be cast.
    if (!std::isfinite(value) || value < static_cast<double>(low) ||
        value > static_cast<double>(high) || std::nearbyint(value) != value) {
        char given[64];
        std::snprintf(given, sizeof given, "%.15g", value);
        refuse(what, low, high, unit, given);
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t inRange(long long value, long low, long high, const std::string &what,
                     const std::string &unit) {
    if (value < low || value > high) refuse(what, low, high, unit, std::to_string(value));
    return static_cast<std::int32_t>(value);
}

bool isStationRate(long rate) {
    for (long r : kStationRates)
        if (r == rate) return true;
    return false;
}

std::string stationRates() {
    std::string text;
    const std::size_t n = std::size(kStationRates);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) text += i + 1 == n ? " or " : ", ";
        text += std::to_string(kStationRates[i]);
    }
    return text;
}

std::optional<long> stationRateOf(const std::string &text) {
    if (text.empty() || text.size() > 7) return std::nullopt;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const long rate = std::stol(text);
    if (!isStationRate(rate)) return std::nullopt;
    return rate;
}

std::optional<std::string> portName(const std::string &text) {
    std::string digits = text;
    if (digits.size() > 3 && std::toupper(static_cast<unsigned char>(digits[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(digits[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(digits[2])) == 'M')
        digits = digits.substr(3);
    bool number = !digits.empty() && digits.size() <= 6;
    for (char c : digits) number = number && std::isdigit(static_cast<unsigned char>(c));
    if (number) {
        const int port = std::stoi(digits);
        if (port < 1) return std::nullopt;
        return "COM" + std::to_string(port);
    }
    if (text.empty()) return std::nullopt;
    return text;
}

std::vector<int> parseStationList(const std::string &list) {
    std::vector<int> found;
    std::stringstream pieces(list);
    std::string piece;
    while (std::getline(pieces, piece, ',')) {
        if (piece.empty() || !std::isdigit(static_cast<unsigned char>(piece[0]))) continue;
        const int address = std::atoi(piece.c_str());
        if (address >= 0 && address < kStations) found.push_back(address);
    }
    return found;
}

std::string statusBitNames(std::int32_t status) {
    std::string names;
    for (int bit = 0; bit < CORVEXLINK_STATUS_BIT_COUNT; ++bit) {
        if (!(status & (1 << bit))) continue;
        if (!names.empty()) names += ", ";
        names += CorvexLinkStatusBitName(bit);
    }
    return names.empty() ? "none" : names;
}

std::string statusBitAttribute(int bit) {
    std::string name = CorvexLinkStatusBitName(bit);
    for (char &c : name)
        if (c == '-') c = '_';
    return name;
}

MotorReading readStatus(std::int32_t status) {
    char reg[80];
    std::snprintf(reg, sizeof reg, " (status register 0x%03X: ", static_cast<unsigned>(status));
    const std::string detail = reg + statusBitNames(status) + ")";
    const bool ccw = status & CORVEXLINK_STATUS_LS_CCW;
    const bool cw = status & CORVEXLINK_STATUS_LS_CW;
    if (status & CORVEXLINK_STATUS_RUNING) return {MotorCondition::Moving, "Moving" + detail};
    if (ccw && cw) return {MotorCondition::Alarm, "Both limit switches are active" + detail};
    if (ccw)
        return {MotorCondition::Alarm, "The counter-clockwise limit switch is active" + detail};
    if (cw) return {MotorCondition::Alarm, "The clockwise limit switch is active" + detail};
    return {MotorCondition::Idle, "Idle" + detail};
}

std::optional<int> addressFromName(const std::string &deviceName) {
    const std::size_t slash = deviceName.rfind('/');
    const std::string last = slash == std::string::npos ? deviceName : deviceName.substr(slash + 1);
    if (last.empty() || last.size() > 2) return std::nullopt;
    for (char c : last)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int address = std::stoi(last);
    if (address >= kStations) return std::nullopt;
    return address;
}

}  // namespace corvextango
