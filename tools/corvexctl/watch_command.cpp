// SPDX-License-Identifier: MIT
// The watch subcommand: positions, encoders and status bits of some motors, on one line or
// several, refreshed until Ctrl-C (or a given number of refreshes); the lines are closed on
// the way out.
#include "arguments.h"
#include "commands.h"

#include <CorvexLink.h>

#include <unistd.h>

#include <algorithm>
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

nlohmann::json readStation(CorvexLinkLine *line, const std::string &address) {
    auto row = readPosition(line, address);
    int32_t status = 0;
    check(line, CorvexLinkLineMotorGetStatusRegister(line, address.c_str(), &status),
          "MotorGetStatusRegister");
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

// One row of the table; with several lines, the row's line comes first, `width` wide.
std::string rowText(const nlohmann::json &row, std::size_t width) {
    char line[96];
    std::snprintf(line, sizeof line, "%4d  %10d  %10d  0x%03X ", row["address"].get<int>(),
                  row["position"].get<int>(), row["encoder"].get<int>(),
                  static_cast<unsigned>(row["status"].get<int>()));
    std::string text = line;
    if (width > 0) {
        std::string name = row["line"].get<std::string>();
        name.resize(std::max(width, name.size()), ' ');
        text = name + "  " + text;
    }
    for (const auto &bit : row["bits"]) text += " " + bit.get<std::string>();
    return text;
}

}  // namespace

void addWatchCommand(CLI::App &app, CommandTable &table) {
    auto args = std::make_shared<WatchArgs>();
    auto *cmd =
        addCommand(app, "watch", "Show positions and status of motors, refreshed until Ctrl-C");
    cmd->add_option("ADDR", args->addresses, "station addresses 0-15 (of each line given)")
        ->required()
        ->check(singleAddress());
    cmd->add_option("--interval", args->interval, "milliseconds between refreshes (default 500)")
        ->transform(wholeNumber(50, 60000));
    cmd->add_option("--count", args->count,
                    "stop after this many refreshes (default: until Ctrl-C)")
        ->transform(wholeNumber(1, 1000000));
    table.push_back({cmd, "watch",
                     [args](Session &s) {
                         const auto &lines = s.lines();
                         const bool several = lines.size() > 1;
                         std::size_t width = several ? 4 : 0;  // "line" at least
                         if (several)
                             for (const auto &line : lines)
                                 width = std::max(width, line.name.size());
                         const bool screen = !s.out().json() && isatty(STDOUT_FILENO);
                         for (int refresh = 1; !stopRequested(); ++refresh) {
                             const std::string time = utcTimestamp();
                             // The lines are read at once; a failure on any ends the watch.
                             const auto outcomes = onEveryLine(s, [&](const OpenLine &line) {
                                 nlohmann::json rows = nlohmann::json::array();
                                 for (const auto &address : args->addresses) {
                                     auto row = readStation(line.handle, address);
                                     row["line"] = line.name;
                                     rows.push_back(std::move(row));
                                 }
                                 return LineResult{rows, ""};
                             });
                             nlohmann::json rows = nlohmann::json::array();
                             for (const auto &outcome : outcomes) {
                                 if (outcome.failure) {
                                     Failure failure = *outcome.failure;
                                     if (several)
                                         failure =
                                             Failure(outcome.line->name + ": " + failure.what(),
                                                     failure.number(), failure.libraryMessage(),
                                                     failure.details());
                                     throw failure.onLine(outcome.line->name);
                                 }
                                 for (const auto &row : outcome.result->fields) rows.push_back(row);
                             }
                             if (s.out().json()) {
                                 s.out().result("watch", {{"time", time}, {"stations", rows}}, "");
                             } else {
                                 // On a terminal the table is redrawn in place; otherwise appended.
                                 if (screen) std::cout << "\x1b[H\x1b[2J";
                                 if (several)
                                     std::cout << std::string("line").append(width - 4, ' ')
                                               << "  ";
                                 std::cout << "addr    position     encoder  status\n";
                                 for (const auto &row : rows)
                                     std::cout << rowText(row, width) << "\n";
                                 if (screen) std::cout << "(Ctrl-C to stop)\n";
                                 std::cout << std::flush;
                             }
                             if (args->count && refresh >= args->count) break;
                             if (!pause(args->interval)) break;
                         }
                         s.close();
                     },
                     true});
}

}  // namespace corvexctl
