// SPDX-License-Identifier: MIT
// What a usage error says: the subcommand it concerns and, for a word that names no
// subcommand, that this word is unknown.
#pragma once

#include "commands.h"

#include <CLI/CLI.hpp>

#include <string>

namespace corvexctl {

// The subcommand the arguments name ("move", "io write"), found without parsing them;
// empty when none does.
std::string commandNamed(const CLI::App &app, const CommandTable &table, int argc,
                         const char *const *argv);

// The message of a failed parse: CLI11's own, except that a first word that names no
// subcommand, with no subcommand anywhere, is named as unknown.
std::string usageErrorText(const CLI::App &app, const CommandTable &table,
                           const CLI::ParseError &error, int argc, const char *const *argv);

}  // namespace corvexctl
