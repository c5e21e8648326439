// The command transaction with a station and the library error state.
#pragma once

#include <cstdint>
#include <string>

namespace corvex::link {

inline constexpr int kMaxCommandLength = 62;   // command text without its CR
inline constexpr int kErrorMessageSize = 512;
inline constexpr int kLatestCommandSize = 256;

// Result of ItcCommand.
enum TransactionResult : int { kTransactionFailed = 0, kTransactionOk = 1, kTransactionFifoFull = 2 };

// Sends `command` with a CR, waits for the answer (repeating once after silence) and
// checks it. 0 failure (error state set), 1 success (LastValue updated unless
// SuppressValue), 2 the station answered FIFO FULL (error 3 set).
int ItcCommand(const char *command);

// Sends `text` with a CR and waits up to 200 ms for a prompt. 1 answered, 0 with error 26.
int WriteSP(const char *text);

// Error state.
std::int32_t ErrorNumber();
const char *ErrorMessage();
void SetErrorMessage(int index);  // selects an ErrorMessageTable entry; number unchanged
void SetError(std::int32_t number, const char *format, ...) __attribute__((format(printf, 2, 3)));
void ClearError();  // number -1, message empty: the start of a checked operation

// A mark of the failures reported so far. KeepFailureSince(mark), called when an operation
// fails, puts back the last failure reported after `mark` if a later successful step has
// cleared the error state since; it changes nothing when the state holds a message or no
// failure came after the mark.
std::uint32_t FailureMark();
void KeepFailureSince(std::uint32_t mark);

std::int32_t LastValue();
void SetLastValue(std::int32_t value);
bool SuppressValue();
void SetSuppressValue(bool on);
bool TransactionIdle();
const char *LatestCommand();

// The raw text of the last answer (what the worker received since the last command).
std::string AnswerText();

// The station table: 16 characters, 'N' or the address as one hexadecimal digit.
char *StationTable();

// Restores every item of this layer to its load-time value (tests only).
void resetTransactionStateForTest();

}  // namespace corvex::link
