// SPDX-License-Identifier: MIT
// Pure logic of the device server, apart from Tango and the line: written values checked
// and turned into the integers the library takes, the port setting, the scan's station
// list, and a motor's state read from its status register.
#pragma once

#include <CorvexLink.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvextango {

// The limits of the values a client writes are the library's (CORVEXLINK_RATE_MIN, ...).
inline constexpr int kStations = CORVEXLINK_ADDRESS_MAX + 1;
inline constexpr int kBoards = kStations / 4;
inline constexpr int kUserPorts = 3;        // user I/O ports 1 to 3 of a board
inline constexpr long kMaxUserLines = 255;  // eight lines a port

// `value` as a whole number from `low` to `high`; anything else (a fraction, NaN, an
// infinity, a number out of range) throws an argument Failure whose message names `what`,
// the range and `unit`, and says that nothing was sent.
std::int32_t wholeNumber(double value, long low, long high, const std::string &what,
                         const std::string &unit = "");
// The same for an integer value.
std::int32_t inRange(long long value, long low, long high, const std::string &what,
                     const std::string &unit = "");

// The line rates to which every station can be moved.
bool isStationRate(long rate);
std::string stationRates();  // "9600, 19200, 38400, 57600 or 115200"

// A Rate property: one of the station rates, in plain decimal; nullopt for anything else.
std::optional<long> stationRateOf(const std::string &text);

// The device name a Port property gives the line: a COM number ("1", "com1") as "COM1", a
// device path or network URL as it stands; nullopt for an empty text or a COM number below 1.
std::optional<std::string> portName(const std::string &text);

// The addresses in GetConnectedControllers' list ("0,1,N,3,N,..."), ascending.
std::vector<int> parseStationList(const std::string &list);

// A motor's condition from its status register: moving while RUNING is set, in alarm
// while a limit switch is active (and it is not moving), idle otherwise; `status` says so
// in words with the register and the names of the bits that are set.
enum class MotorCondition { Idle, Moving, Alarm };
struct MotorReading {
    MotorCondition condition = MotorCondition::Idle;
    std::string status;
};
MotorReading readStatus(std::int32_t status);
// "RUNING, DIR" for the bits set in `status`; "none" when none is.
std::string statusBitNames(std::int32_t status);
// A status bit's name as a Tango attribute name ("LS-CCW" becomes "LS_CCW").
std::string statusBitAttribute(int bit);

// The motor address of a device name whose last member is a number 0 to 15
// ("corvex/motor/2" gives 2), for servers run without a database.
std::optional<int> addressFromName(const std::string &deviceName);

}  // namespace corvextango
