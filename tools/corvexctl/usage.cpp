// SPDX-License-Identifier: MIT
// Usage-error texts of corvexctl; see usage.h.
#include "usage.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace corvexctl {

namespace {

// The words of the command line that are neither options nor the values of the global
// options (whose names the parser knows), in order.
std::vector<std::string> words(const CLI::App &app, int argc, const char *const *argv) {
    std::vector<std::string> found;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") break;
        if (word.size() > 1 && word[0] == '-' &&
            !std::isdigit(static_cast<unsigned char>(word[1]))) {
            if (word.find('=') != std::string::npos) continue;
            const CLI::Option *option = app.get_option_no_throw(word);
            if (option != nullptr && option->get_items_expected_min() > 0) ++i;  // its value
            continue;
        }
        found.push_back(word);
    }
    return found;
}

// Whether `name` is a subcommand, or the group of some ("io" of "io write").
bool hasCommand(const CommandTable &table, const std::string &name) {
    return std::any_of(table.begin(), table.end(), [&](const Command &command) {
        return command.name == name || command.name.rfind(name + " ", 0) == 0;
    });
}

}  // namespace

std::string commandNamed(const CLI::App &app, const CommandTable &table, int argc,
                         const char *const *argv) {
    const auto given = words(app, argc, argv);
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (!hasCommand(table, given[i])) continue;
        if (i + 1 < given.size() && hasCommand(table, given[i] + " " + given[i + 1]))
            return given[i] + " " + given[i + 1];
        return given[i];
    }
    return "";
}

std::string usageErrorText(const CLI::App &app, const CommandTable &table,
                           const CLI::ParseError &error, int argc, const char *const *argv) {
    const std::string named = commandNamed(app, table, argc, argv);
    const bool group = std::none_of(table.begin(), table.end(),
                                    [&](const Command &command) { return command.name == named; });
    if (!named.empty() && group && dynamic_cast<const CLI::RequiredError *>(&error) != nullptr)
        return "no subcommand of " + named + " given; corvexctl " + named + " --help lists them";
    if (named.empty()) {
        const auto given = words(app, argc, argv);
        if (!given.empty())
            return "unknown subcommand '" + given.front() + "'; --help lists the subcommands";
        if (dynamic_cast<const CLI::RequiredError *>(&error) != nullptr)
            return "no subcommand given; --help lists them";
    }
    return error.what();
}

}  // namespace corvexctl
