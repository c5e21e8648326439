// SPDX-License-Identifier: MIT
// The watch subcommand: positions, encoders and status bits of some motors, refreshed until
// Ctrl-C (or a given number of refreshes); the port is closed on the way out.
#include "arguments.h"
#include "commands.h"

#include <CorvexLink.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <iostream>
#include <memory>

namespace corvexctl {

namespace {

struct WatchArgs {
    std::vector<std::string> addresses;
    int interval = 500;
    int count = 0;
};

nlohmann::json readStation(const std::string &address) {
    auto row = readPosition(address);
    int32_t status = 0;
    check(MotorGetStatusRegister(address.c_str(), &status), "MotorGetStatusRegister");
    row["status"] = status;
    row["bits"] = statusBitNames(status);
    return row;
}

// The time of a refresh in UTC, ISO 8601 with milliseconds ("2026-12-09T01:30:00.250Z").
std::string utcTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis.count()));
    return text;
}

std::string rowText(const nlohmann::json &row) {
    char line[96];
    std::snprintf(line, sizeof line, "%4d  %10d  %10d  0x%03X ", row["address"].get<int>(),
                  row["position"].get<int>(), row["encoder"].get<int>(),
                  static_cast<unsigned>(row["status"].get<int>()));
    std::string text = line;
    for (const auto &bit : row["bits"]) text += " " + bit.get<std::string>();
    return text;
}

}  // namespace

void addWatchCommand(CLI::App &app, CommandTable &table) {
    auto args = std::make_shared<WatchArgs>();
    auto *cmd =
        addCommand(app, "watch", "Show positions and status of motors, refreshed until Ctrl-C");
    cmd->add_option("ADDR", args->addresses, "station addresses 0-15")
        ->required()
        ->check(singleAddress());
    cmd->add_option("--interval", args->interval, "milliseconds between refreshes (default 500)")
        ->transform(wholeNumber(50, 60000));
    cmd->add_option("--count", args->count,
                    "stop after this many refreshes (default: until Ctrl-C)")
        ->transform(wholeNumber(1, 1000000));
    table.push_back({cmd, "watch", [args](Session &s) {
                         s.open();
                         const bool screen = !s.out().json() && isatty(STDOUT_FILENO);
                         for (int refresh = 1; !stopRequested(); ++refresh) {
                             const std::string time = utcTimestamp();
                             nlohmann::json rows = nlohmann::json::array();
                             for (const auto &address : args->addresses)
                                 rows.push_back(readStation(address));
                             if (s.out().json()) {
                                 s.out().result("watch", {{"time", time}, {"stations", rows}}, "");
                             } else {
                                 // On a terminal the table is redrawn in place; otherwise appended.
                                 if (screen) std::cout << "\x1b[H\x1b[2J";
                                 std::cout << "addr    position     encoder  status\n";
                                 for (const auto &row : rows) std::cout << rowText(row) << "\n";
                                 if (screen) std::cout << "(Ctrl-C to stop)\n";
                                 std::cout << std::flush;
                             }
                             if (args->count && refresh >= args->count) break;
                             if (!pause(args->interval)) break;
                         }
                         s.close();
                     }});
}

}  // namespace corvexctl
