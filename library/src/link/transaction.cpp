// SPDX-License-Identifier: MIT
#include "transaction.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "CorvexLink.h"
#include "../platform/diagnostics.h"
#include "answer_parser.h"
#include "comm_port.h"

namespace corvex::link {

using platform::diag;

namespace {

constexpr auto kAnswerWait = std::chrono::milliseconds(200);
constexpr auto kDuplicateMargin = std::chrono::milliseconds(50);

// Fixed messages of argument errors, selected by index.
constexpr const char *kErrorMessageTable[] = {
    "COM Port Time Out",
    "Wrong Address in list",
    "Broadcasting not allowed in this command",
    "Wrong Current Value need to be from 50(mA) to 2000 (mA)",
    "Wrong ADC Resolution",
    "Wrong Acceleration Value must be between 0 to 255, for TRAPEZOIDAL MODE",
    "Wrong Slew Rate Value must be between 16 to 8500",
    "Wrong First Rate Value must be between 16 to 8500",
};

// Messages of the station's answer codes 1 to 9, formatted with (command, answer).
constexpr const char *kAnswerCodeFormats[] = {
    "Parameters out of Range (command = %s, answer = %s",
    "Syntax Error: Command Not Found (command = %s, answer = %s",
    "FIFO FULL (command = %s, answer = %s",
    "SPI need to be Configured before Read or Write (command = %s, answer = %s",
    "SPI MUST be Configured as MASTER, check USER11 State (command = %s, answer = %s",
    "Motor is Running Can NOT Execute the Command Sent (command = %s, answer = %s",
    "Limit Switch has been reached (command = %s, answer = %s",
    "Motor is Running can not set Direction (command = %s, answer = %s",
    "Can Not Execute command (command = %s, answer = %s",
};
static_assert(std::size(kAnswerCodeFormats) == CORVEXLINK_ERR_CANNOT_EXECUTE);
constexpr const char *kUnknownCodeFormat = "Returned error code unknown (command = %s, answer = %s";

// The last failure reported, kept so that an export whose later steps succeeded (and so
// cleared the error state) can still report the step that failed.
struct FailureRecord {
    std::uint32_t serial = 0;  // counts every failure reported
    std::int32_t number = 0;
    char message[kErrorMessageSize] = {};
};

struct TransactionState {
    std::int32_t errorNumber = CORVEXLINK_ERR_NONE;
    char errorMessage[kErrorMessageSize] = {};
    std::int32_t lastValue = 0;
    char latestCommand[kLatestCommandSize] = {};
    std::atomic<int> transactionIdle{1};
    bool suppressValue = false;
    // After a repeated frame that was answered: until this time a second answer (to the
    // other copy of the frame) may still arrive; the next command discards it first.
    std::chrono::steady_clock::time_point duplicateUntil{};
    char stationTable[17] = "NNNNNNNNNNNNNNNN";
    FailureRecord lastFailure;
};

TransactionState &state() {
    static TransactionState *s = new TransactionState;
    return *s;
}

void copyText(char *dest, std::size_t size, const char *src) {
    std::snprintf(dest, size, "%s", src);
}

// Waits up to 200 ms for the answer to hold a prompt. An answer that is already on its way
// is taken up at once; otherwise the caller sleeps until the worker signals the prompt,
// using no CPU while the bytes are on the wire.
bool waitForAnswer() {
    return answerSink().waitComplete(std::chrono::steady_clock::now() + kAnswerWait);
}

// Builds "text CR" into `frame`; false when the text does not fit the 64-byte frame.
bool buildFrame(const char *text, char (&frame)[kMaxCommandLength + 2]) {
    const std::size_t length = strnlen(text, kMaxCommandLength + 1);
    if (length > static_cast<std::size_t>(kMaxCommandLength)) return false;
    std::memcpy(frame, text, length);
    frame[length] = '\r';
    frame[length + 1] = '\0';
    return true;
}

}  // namespace

// ----- error state -----------------------------------------------------------------------

std::int32_t ErrorNumber() { return state().errorNumber; }
const char *ErrorMessage() { return state().errorMessage; }

namespace {

void recordFailure() {
    TransactionState &s = state();
    ++s.lastFailure.serial;
    s.lastFailure.number = s.errorNumber;
    copyText(s.lastFailure.message, kErrorMessageSize, s.errorMessage);
}

}  // namespace

void SetErrorMessage(int index) {
    if (index < 0 || index >= static_cast<int>(std::size(kErrorMessageTable))) return;
    copyText(state().errorMessage, kErrorMessageSize, kErrorMessageTable[index]);
    recordFailure();
}

void setError(std::int32_t number, const char *format, ...) {
    state().errorNumber = number;
    va_list args;
    va_start(args, format);
    std::vsnprintf(state().errorMessage, kErrorMessageSize, format, args);  // cut to 511
    va_end(args);
    if (state().errorMessage[0] != '\0') recordFailure();
}

std::uint32_t failureMark() { return state().lastFailure.serial; }

void keepFailureSince(std::uint32_t mark) {
    TransactionState &s = state();
    if (s.errorMessage[0] != '\0' || s.lastFailure.serial == mark) return;
    s.errorNumber = s.lastFailure.number;
    copyText(s.errorMessage, kErrorMessageSize, s.lastFailure.message);
}

void clearError() {
    state().errorNumber = CORVEXLINK_ERR_CLEARED;
    state().errorMessage[0] = '\0';
}

std::int32_t LastValue() { return state().lastValue; }
void setLastValue(std::int32_t value) { state().lastValue = value; }
bool SuppressValue() { return state().suppressValue; }
void setSuppressValue(bool on) { state().suppressValue = on; }
bool TransactionIdle() { return state().transactionIdle.load() != 0; }
const char *LatestCommand() { return state().latestCommand; }
std::string answerText() { return answerSink().text(); }
char *stationTable() { return state().stationTable; }

void resetTransactionStateForTest() {
    TransactionState &s = state();
    s.errorNumber = CORVEXLINK_ERR_NONE;
    s.errorMessage[0] = '\0';
    s.lastValue = 0;
    s.latestCommand[0] = '\0';
    s.transactionIdle.store(1);
    s.suppressValue = false;
    s.duplicateUntil = {};
    s.lastFailure = FailureRecord{};
    copyText(s.stationTable, sizeof s.stationTable, "NNNNNNNNNNNNNNNN");
    answerSink().reset();
}

// ----- transactions ----------------------------------------------------------------------

namespace {

// Starts a command with an empty answer. After a repeated frame, the station may answer
// both copies: a second answer that has arrived is dropped with the rest, and one that is
// still due is waited for (up to one answer wait after the repeat) and dropped, so that it
// is not taken as this command's answer.
void discardStaleInput(TransactionState &s) {
    const auto until = s.duplicateUntil;
    s.duplicateUntil = {};
    if (until == std::chrono::steady_clock::time_point{} ||
        std::chrono::steady_clock::now() >= until) {
        answerSink().reset();
        return;
    }
    const std::string held = answerSink().text();
    const bool secondArrived = std::count(held.begin(), held.end(), '>') >= 2;
    answerSink().reset();
    if (!secondArrived && answerSink().waitComplete(until)) answerSink().reset();
}

// The text of a repeated command's answer. Bytes that came without a prompt before the
// repeat are either the start of a slow answer (its rest follows and completes it) or a
// broken one (noise, or an answer cut off) that would spoil the answer to the repeat. When
// the bytes after the repeat begin as a new answer does (CR LF, or '?' for an error), the
// earlier ones were broken and are dropped; otherwise they are the start and are kept.
std::string withoutBrokenStart(std::string raw, std::size_t held) {
    if (held >= raw.size()) return raw;  // nothing came after the repeat (or it did not fit)
    const std::string_view after = std::string_view(raw).substr(held);
    const bool freshAnswer = after.substr(0, 2) == "\r\n" || after.front() == '?';
    return freshAnswer ? std::string(after) : raw;
}

}  // namespace

Reply transact(const char *command, ValueUse use) {
    TransactionState &s = state();
    Reply reply;
    if (!portState().portUsed) {
        setError(CORVEXLINK_ERR_NO_PORT, "Commands cannot be sent before a COM port is open");
        return reply;
    }
    clearError();
    if (!portState().portOpen) {
        setError(CORVEXLINK_ERR_NO_PORT, "Commands cannot be sent before a COM port is open");
        return reply;
    }
    char frame[kMaxCommandLength + 2];
    if (command == nullptr) {
        setError(CORVEXLINK_ERR_COMMAND_REJECTED, "Command rejected: no command text given");
        return reply;
    }
    if (!buildFrame(command, frame)) {
        setError(CORVEXLINK_ERR_COMMAND_REJECTED,
                 "Command rejected: longer than %d characters (command = %.40s...)",
                 kMaxCommandLength, command);
        return reply;
    }

    s.transactionIdle.store(0);
    discardStaleInput(s);
    const std::size_t frameLength = std::strlen(frame);
    WriteComm(frame, frameLength);  // a failed write shows as a missing answer
    copyText(s.latestCommand, kLatestCommandSize, frame);

    bool answered = waitForAnswer();
    bool repeated = false;
    std::size_t heldBeforeRepeat = 0;
    if (!answered) {
        heldBeforeRepeat = answerSink().text().size();
        WriteComm("\r", 1);
        WriteComm(frame, frameLength);
        repeated = true;
        for (int attempt = 0; attempt < 2 && !answered; ++attempt) {
            diag("CorvexLinkDLL: ItcCommand --> Timeout (Retry needed). Last command = %s\n",
                 command);
            answered = waitForAnswer();
        }
    }
    if (!answered) {
        setError(CORVEXLINK_ERR_NO_ANSWER, "ItcCommand: COM port timed out (command = %s)",
                 command);
        s.transactionIdle.store(1);
        return reply;
    }

    // The other copy's answer comes about one answer wait after this one at the latest
    // (the station delays both alike), with a margin for the repeat's own write.
    if (repeated)
        s.duplicateUntil = std::chrono::steady_clock::now() + kAnswerWait + kDuplicateMargin;
    reply.raw = answerSink().text();
    if (heldBeforeRepeat > 0)
        reply.raw = withoutBrokenStart(std::move(reply.raw), heldBeforeRepeat);
    reply.answer = interpretAnswer(reply.raw);
    if (reply.answer.kind == AnswerKind::Error) {
        const int code = reply.answer.code;
        if (code >= CORVEXLINK_ERR_OUT_OF_RANGE && code <= CORVEXLINK_ERR_CANNOT_EXECUTE) {
            setError(code, kAnswerCodeFormats[code - CORVEXLINK_ERR_OUT_OF_RANGE], command,
                     reply.raw.c_str());
        } else {
            setError(CORVEXLINK_ERR_UNKNOWN_CODE, kUnknownCodeFormat, command, reply.raw.c_str());
        }
        reply.result = code == CORVEXLINK_ERR_FIFO_FULL ? kTransactionFifoFull : kTransactionFailed;
    } else {
        if (use == ValueUse::Store && reply.answer.hasValue && !s.suppressValue)
            s.lastValue = reply.answer.value;
        reply.result = kTransactionOk;
    }
    s.transactionIdle.store(1);
    return reply;
}

int ItcCommand(const char *command) { return transact(command, ValueUse::Store).result; }

int WriteSP(const char *text) {
    TransactionState &s = state();
    char frame[kMaxCommandLength + 2];
    if (text == nullptr || !buildFrame(text, frame)) {
        setError(CORVEXLINK_ERR_NO_ANSWER, "WriteSP: COM port timed out");
        return 0;
    }
    s.transactionIdle.store(0);
    discardStaleInput(s);
    WriteComm(frame, std::strlen(frame));
    const bool answered = waitForAnswer();
    if (!answered) setError(CORVEXLINK_ERR_NO_ANSWER, "WriteSP: COM port timed out");
    s.transactionIdle.store(1);
    return answered ? 1 : 0;
}

}  // namespace corvex::link
