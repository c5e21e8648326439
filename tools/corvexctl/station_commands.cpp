// SPDX-License-Identifier: MIT
// Subcommands about the stations on the line as a whole: scan, check, init, baud, raw.
#include "arguments.h"
#include "commands.h"

#include <CorvexLink.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <sys/stat.h>

namespace corvexctl {

std::vector<int> scanStations(CorvexLinkLine *line) {
    char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
    check(line, CorvexLinkLineGetConnectedControllers(line, list), "GetConnectedControllers");
    std::vector<int> found;
    std::stringstream pieces(list);
    std::string piece;
    while (std::getline(pieces, piece, ','))
        if (!piece.empty() && piece != "N") found.push_back(std::stoi(piece));
    return found;
}

namespace {

// The stations a scan of a real line found, for the shell's completion:
// $XDG_CACHE_HOME/corvexctl/stations (~/.cache/corvexctl/stations), one line of addresses.
// A simulated line is not remembered; a cache that cannot be written is left as it is. The
// addresses of several lines are remembered together.
void rememberStations(const Session &session, const std::vector<int> &found) {
    if (!session.options().simulate.empty()) return;
    std::string folder;
    if (const char *cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/')
        folder = cache;
    else if (const char *home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        folder = std::string(home) + "/.cache";
    else
        return;
    ::mkdir(folder.c_str(), 0700);
    folder += "/corvexctl";
    ::mkdir(folder.c_str(), 0700);
    const std::string file = folder + "/stations";
    const std::string partial = file + "." + std::to_string(::getpid());
    FILE *out = std::fopen(partial.c_str(), "w");
    if (out == nullptr) return;
    for (std::size_t i = 0; i < found.size(); ++i)
        std::fprintf(out, "%s%d", i ? " " : "", found[i]);
    std::fputc('\n', out);
    if (std::fclose(out) != 0 || std::rename(partial.c_str(), file.c_str()) != 0)
        std::remove(partial.c_str());
}

std::string joined(const std::vector<int> &values) {
    std::string text;
    for (int v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
    return text;
}

}  // namespace

void addStationCommands(CLI::App &app, CommandTable &table) {
    auto *scan = addCommand(app, "scan",
                            "List the stations that answer (addresses 0-15), on each line given");
    table.push_back({scan, "scan",
                     [](Session &s) {
                         // The lines are scanned at once, each on a thread of its own.
                         const auto outcomes = onEveryLine(s, [](const OpenLine &line) {
                             const auto found = scanStations(line.handle);
                             return LineResult{{{"stations", found}},
                                               found.empty() ? "no station answered"
                                                             : "stations: " + joined(found)};
                         });
                         std::vector<int> all;
                         for (const auto &outcome : outcomes)
                             if (outcome.result)
                                 for (int a : outcome.result->fields.at("stations"))
                                     all.push_back(a);
                         std::sort(all.begin(), all.end());
                         all.erase(std::unique(all.begin(), all.end()), all.end());
                         rememberStations(s, all);
                         printOutcomes(s, "scan", outcomes);
                     },
                     true});

    auto address = std::make_shared<std::string>();
    auto *checkCmd =
        addCommand(app, "check", "Probe one station; exit code 1 when it does not answer");
    checkCmd->add_option("ADDR", *address, "station address 0-15")
        ->required()
        ->check(singleAddress());
    table.push_back({checkCmd, "check", [address](Session &s) {
                         CorvexLinkLine *line = s.line();
                         check(line, CorvexLinkLineCheckControllerAddress(line, address->c_str()),
                               "CheckControllerAddress", *address);
                         s.out().result("check",
                                        {{"address", std::stoi(*address)}, {"present", true}},
                                        "station " + *address + " answers");
                     }});

    auto *init =
        addCommand(app, "init",
                   "Find the stations and set each to its defaults (reset, current, speeds, mode)");
    table.push_back({init, "init", [](Session &s) {
                         CorvexLinkLine *line = s.line();
                         const auto found = scanStations(line);
                         rememberStations(s, found);
                         check(line, CorvexLinkLineMotorStationsInit(line), "MotorStationsInit");
                         s.out().result("init", {{"stations", found}},
                                        found.empty() ? "no station to initialise"
                                                      : "initialised stations: " + joined(found));
                     }});

    auto rate = std::make_shared<int>(0);
    auto *baud = addCommand(app, "baud", "Move every station and the line to a new baud rate");
    baud->add_option("RATE", *rate, "9600, 19200, 38400, 57600 or 115200")
        ->required()
        ->transform(wholeNumberOf({9600, 19200, 38400, 57600, 115200}));
    baud->footer("The stations keep the new rate: give later commands --baud RATE.");
    table.push_back({baud, "baud", [rate](Session &s) {
                         CorvexLinkLine *line = s.line();
                         const auto found = scanStations(line);
                         check(line, CorvexLinkLineChangeBaudRate(line, *rate),
                               "ZelmarChangeBaudRate");
                         s.out().result("baud", {{"baud", *rate}, {"stations", found}},
                                        "line and stations " + joined(found) + " now at " +
                                            std::to_string(*rate) + " baud");
                     }});

    auto text = std::make_shared<std::string>();
    auto *raw =
        addCommand(app, "raw", "Send one command text (without CR) and show the answer's value");
    raw->add_option("TEXT", *text, "command text such as _0P (at most 62 printable characters)")
        ->required()
        ->check(CLI::Validator(
            [](std::string &t) -> std::string {
                if (t.empty() || t.size() > 62) return "a command text has 1 to 62 characters";
                for (unsigned char c : t)
                    if (c < 0x20 || c > 0x7E)
                        return "a command text holds printable ASCII characters only";
                return "";
            },
            "TEXT"));
    raw->footer("Example: corvexctl raw _0P   (the position of station 0, sign-and-magnitude)");
    table.push_back({raw, "raw", [text](Session &s) {
                         CorvexLinkLine *line = s.line();
                         const int result = CorvexLinkLineWriteCommandtoKX4417(line, text->c_str());
                         if (result == 2) throw libraryFailure(line, "WriteCommandtoKX4417");
                         check(line, result, "WriteCommandtoKX4417");
                         // The library keeps the number of this thread's last answer that
                         // held one.
                         const int value = CorvexLinkLineGetValue(line);
                         s.out().result("raw", {{"text", *text}, {"value", value}},
                                        "ok, value " + std::to_string(value));
                     }});
}

}  // namespace corvexctl
