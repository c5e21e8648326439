// SPDX-License-Identifier: MIT
// The command transaction with a station and the library error state.
#pragma once

#include <cstdint>
#include <string>

#include "answer_parser.h"

namespace corvex::link {

inline constexpr int kMaxCommandLength = 62;  // command text without its CR
inline constexpr int kErrorMessageSize = 512;
inline constexpr int kLatestCommandSize = 256;

// Result of ItcCommand.
enum TransactionResult : int {
    kTransactionFailed = 0,
    kTransactionOk = 1,
    kTransactionFifoFull = 2
};

// Whether a transaction's value becomes the library's last value.
enum class ValueUse : std::uint8_t {
    Store,  // a value answer sets LastValue (unless SuppressValue is set)
    Keep,   // the caller reads the answer itself; LastValue stays as it is
};

// What a transaction brought back: its result, the answer as the answer rules read it,
// and the raw text received (empty when no answer came).
struct Reply {
    int result = kTransactionFailed;
    AnswerResult answer;
    std::string raw;
};

// Sends `command` with a CR, waits for the answer (repeating once after silence) and
// checks it: result 0 failure (error state set), 1 success, 2 the station answered FIFO
// FULL (error 3 set).
Reply transact(const char *command, ValueUse use);

// transact with the value stored: 0, 1 or 2 as above.
int ItcCommand(const char *command);

// Sends `text` with a CR and waits up to 200 ms for a prompt. 1 answered, 0 with error 26.
int WriteSP(const char *text);

// Error state.
std::int32_t ErrorNumber();
const char *ErrorMessage();
void SetErrorMessage(int index);  // selects an ErrorMessageTable entry; number unchanged
void setError(std::int32_t number, const char *format, ...) __attribute__((format(printf, 2, 3)));
void clearError();  // number -1, message empty: the start of a checked operation

// A mark of the failures reported so far. keepFailureSince(mark), called when an operation
// fails, puts back the last failure reported after `mark` if a later successful step has
// cleared the error state since; it changes nothing when the state holds a message or no
// failure came after the mark.
std::uint32_t failureMark();
void keepFailureSince(std::uint32_t mark);

std::int32_t LastValue();
void setLastValue(std::int32_t value);
bool SuppressValue();
void setSuppressValue(bool on);
bool TransactionIdle();
const char *LatestCommand();

// The raw text of the last answer (what the worker received since the last command).
std::string answerText();

// The station table: 16 characters, 'N' or the address as one hexadecimal digit.
char *stationTable();

// Restores every item of this layer to its load-time value (tests only).
void resetTransactionStateForTest();

}  // namespace corvex::link
