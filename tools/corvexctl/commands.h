// SPDX-License-Identifier: MIT
// The subcommand table of corvexctl. Each family of subcommands registers its parsers and
// handlers here; main() runs the handler of the subcommand that was given.
#pragma once

#include "session.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace corvexctl {

struct Command {
    CLI::App *parser;  // the subcommand's parser (its options are filled at parse time)
    std::string name;  // as shown in results ("io write")
    std::function<void(Session &)> run;  // opens the port itself, so it can refuse arguments first
    bool severalLines = false;           // takes --device more than once
};

using CommandTable = std::vector<Command>;

// Adds a subcommand with the shared settings (global options may follow it).
CLI::App *addCommand(CLI::App &parent, const std::string &name, const std::string &help);

// One registration function per family; the order is the order of the help text.
void addStationCommands(CLI::App &app, CommandTable &table);  // scan check init baud raw
void addMotionCommands(CLI::App &app,
                       CommandTable &table);  // move goto jog stop speed current pos status power
void addBoardCommands(CLI::App &app, CommandTable &table);   // trigger pause io adc spi
void addProfileCommand(CLI::App &app, CommandTable &table);  // profile
void addWatchCommand(CLI::App &app, CommandTable &table);    // watch
void addPortsCommand(CLI::App &app, CommandTable &table);    // ports

inline const std::vector<void (*)(CLI::App &, CommandTable &)> &commandFamilies() {
    static const std::vector<void (*)(CLI::App &, CommandTable &)> families = {
        addStationCommands, addMotionCommands, addBoardCommands,
        addProfileCommand,  addWatchCommand,   addPortsCommand};
    return families;
}

// The status register decoded into the names of its set bits, lowest bit first.
std::vector<std::string> statusBitNames(int status);

}  // namespace corvexctl

namespace corvexctl {

// Waits until the station's RUNING bit is clear (polling its status register); a Failure
// after `timeoutSeconds`, or when a stop was requested. Returns the last status.
int waitUntilStopped(CorvexLinkLine *line, const std::string &address, double timeoutSeconds);

// Probes every address and returns those that answer; the library keeps the result in the
// line's station table, which init, baud and stop all rely on.
std::vector<int> scanStations(CorvexLinkLine *line);

// Reads position and encoder of one station.
nlohmann::json readPosition(CorvexLinkLine *line, const std::string &address);

}  // namespace corvexctl
