// SPDX-License-Identifier: MIT
// The command transaction with a station: a frame, its answer, the repeat after silence for
// frames that may be sent twice, and the check of the answer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "answer_parser.h"
#include "line.h"

namespace corvex::link {

inline constexpr int kMaxCommandLength = 62;  // command text without its CR

// One export's use of a line: the line, and the caller state it reports into.
struct Call {
    Line &line;
    CallerState &caller;

    ErrorState &errors() { return caller.errors; }
    StationMemory &stations() { return line.stations; }
};

// Result of ItcCommand.
enum TransactionResult : int {
    kTransactionFailed = 0,
    kTransactionOk = 1,
    kTransactionFifoFull = 2
};

// Whether a transaction's value becomes the caller's last value.
enum class ValueUse : std::uint8_t {
    Store,  // a value answer sets the last value (unless the line suppresses values)
    Keep,   // the caller reads the answer itself; the last value stays as it is
};

// What a transaction brought back: its result, the answer as the answer rules read it,
// and the raw text received (empty when no answer came).
struct Reply {
    int result = kTransactionFailed;
    AnswerResult answer;
    std::string raw;
};

// Whether a command may be sent a second time when its answer does not come. A station may
// have executed a frame whose answer was lost, so only frames whose second execution changes
// nothing are repeated: a relative move (N), a repeat (G), running a stored program (X) or
// its loop (L), and every FIFO entry (&) are not. A text whose letter cannot be found is
// repeated, as every frame once was.
bool safeToRepeat(std::string_view command);

// Sends `command` with a CR, waits for the answer (repeating once after silence, when the
// command is safe to repeat) and checks it: result 0 failure (error state set), 1 success,
// 2 the station answered FIFO FULL (error 3 set).
Reply transact(Call &call, const char *command, ValueUse use);

// transact with the value stored: 0, 1 or 2 as above.
int ItcCommand(Call &call, const char *command);

// Sends `text` with a CR and waits up to 200 ms for a prompt. 1 answered, 0 with error 26
// (or the error of a line that is closed or lost).
int WriteSP(Call &call, const char *text);

// Sets the error of a call on a line whose handle has been closed; -1.
int refuseRetired(Call &call);

// Whether frames may go out on the call's line now; when not (the line's handle has been
// closed, or the device is lost), the error that says why is set, naming `who` and, when
// given, the command. To be called while the call holds the line (a step or a turn).
bool lineUsable(Call &call, const char *who, const char *command);

}  // namespace corvex::link
