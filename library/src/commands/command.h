// SPDX-License-Identifier: MIT
// The common course of a command export, written once for every family: resolve the
// address text, check the value, format the command text, run the transaction, hand back
// the value. Each export describes its command with a `Command` (letter, argument form,
// whether groups are taken, the value check) and calls runCommand or runQuery with the
// call it was given (see export.h).
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>

#include "../link/transaction.h"
#include "address.h"

namespace corvex::commands {

using link::Call;
using link::MessageEntry;

enum class Arg : std::uint8_t {
    None,      // prefix and letter only
    Signed,    // value in signed decimal
    Unsigned,  // value as an unsigned 32-bit number in decimal
};

enum class Groups : std::uint8_t { Refused, Allowed };

// Accepted values, inclusive, and the message entry selected for any other.
struct Range {
    std::int32_t min;
    std::int32_t max;
    MessageEntry entry;
};

struct Command {
    char letter;
    Arg arg = Arg::None;
    Groups groups = Groups::Refused;
    std::optional<Range> check = std::nullopt;
    bool fifo = false;  // queued form: '&' between prefix and letter
};

// A resolved address: one station (address 0 to 15) or a group.
struct Target {
    int address = -1;  // -1 for a group
    bool group = false;
    char prefix[kPrefixSize] = {};
};

using CommandText = std::array<char, 64>;

// An address (or any int) as decimal text, for calling exports that take address texts.
struct DecimalText {
    char text[12];
    explicit DecimalText(int value);
};

// Parses `text`. On failure selects the message entry and yields nothing: entry 1 for a
// NULL, over-long or invalid text and for a single address above 15, entry 2 for a list
// or ALL when `groups` is Refused.
std::optional<Target> resolveTarget(Call &call, const char *text, Groups groups);

// The target of one station given by its address (0 to 15), as "_%X".
Target stationTarget(int address);

// Formats prefix, '&' for the queued form, letter and value.
CommandText formatCommand(const Target &target, const Command &command, std::int32_t value = 0);

// Sends the command to the target; the transaction's result (0 failed, 1 ok, 2 FIFO full).
int sendTo(Call &call, const Target &target, const Command &command, std::int32_t value = 0);

// An export's result for a transaction's: -1 for a failure, 1 otherwise (a FIFO-full
// answer counts as success for the commands that are not queued).
constexpr int exportResult(int transaction) { return transaction == 0 ? -1 : 1; }

// Sends a reading command to the target and gives the number its answer carries; nothing
// (the error state set) when the transaction failed or the answer carries no number
// (CORVEXLINK_ERR_NO_VALUE). A number answered becomes the last value as with any command.
std::optional<std::int32_t> readValue(Call &call, const Target &target, const Command &command,
                                      std::int32_t value = 0);

// The whole common course for a command without answer value: resolve, check, send.
// 1 on success (a FIFO-full answer included), -1 on failure.
int runCommand(Call &call, const char *address, const Command &command, std::int32_t value = 0);

// One command of a sequence sent to the same target.
struct Step {
    Command command;
    std::int32_t value = 0;
};

// Resolves the address once, then sends the steps in order; the first failed transaction
// ends the call with -1 (the steps already sent stay done). A FIFO-full answer counts as
// success. `groups` decides whether a list or ALL is taken.
int runSequence(Call &call, const char *address, Groups groups, std::initializer_list<Step> steps);

// A reading export: the command, whether the out-parameter is set to 0 before anything
// else (else it is untouched on failure), how the answer value becomes the result, and
// whether the converted value also becomes the last value.
struct Query {
    Command command;
    bool zeroFirst = true;
    std::int32_t (*convert)(std::int32_t) = nullptr;
    bool lastValueConverted = false;
};

// The common course of a reading export. A NULL out-parameter selects entry 1 and
// yields -1 without sending.
int runQuery(Call &call, const char *address, const Query &query, std::int32_t *out);

}  // namespace corvex::commands
