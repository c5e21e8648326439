#include "transaction.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "../platform/clock.h"
#include "../platform/diagnostics.h"
#include "comm_port.h"

namespace corvex::link {

using platform::diag;

namespace {

constexpr std::uint32_t kAnswerWaitMs = 200;

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
constexpr const char *kUnknownCodeFormat = "Returned error code unknown (command = %s, answer = %s";

// The last failure reported, kept so that an export whose later steps succeeded (and so
// cleared the error state) can still report the step that failed.
struct FailureRecord {
    std::uint32_t serial = 0;  // counts every failure reported
    std::int32_t number = 0;
    char message[kErrorMessageSize] = {};
};

struct TransactionState {
    std::int32_t errorNumber = 0;
    char errorMessage[kErrorMessageSize] = {};
    std::int32_t lastValue = 0;
    char latestCommand[kLatestCommandSize] = {};
    std::atomic<int> transactionIdle{1};
    bool suppressValue = false;
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

// Spins on the completion flag and the tick count: an answer is taken up within a tick
// of its arrival, with no sleep and no event dispatch.
bool waitForAnswer() {
    const std::uint32_t start = platform::tickCount();
    while (!answerSink().complete()) {
        if (platform::tickCount() - start >= kAnswerWaitMs) return answerSink().complete();
        platform::cpuRelax();
    }
    return true;
}

// Leading blanks, an optional sign, then digits up to the first non-digit; no digits
// give 0. Saturates instead of overflowing on absurdly long numbers.
std::int32_t parseLeadingInt(const char *text) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<std::int32_t>(value);
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

void SetError(std::int32_t number, const char *format, ...) {
    state().errorNumber = number;
    va_list args;
    va_start(args, format);
    std::vsnprintf(state().errorMessage, kErrorMessageSize, format, args);  // cut to 511
    va_end(args);
    if (state().errorMessage[0] != '\0') recordFailure();
}

std::uint32_t FailureMark() { return state().lastFailure.serial; }

void KeepFailureSince(std::uint32_t mark) {
    TransactionState &s = state();
    if (s.errorMessage[0] != '\0' || s.lastFailure.serial == mark) return;
    s.errorNumber = s.lastFailure.number;
    copyText(s.errorMessage, kErrorMessageSize, s.lastFailure.message);
}

void ClearError() {
    state().errorNumber = -1;
    state().errorMessage[0] = '\0';
}

std::int32_t LastValue() { return state().lastValue; }
void SetLastValue(std::int32_t value) { state().lastValue = value; }
bool SuppressValue() { return state().suppressValue; }
void SetSuppressValue(bool on) { state().suppressValue = on; }
bool TransactionIdle() { return state().transactionIdle.load() != 0; }
const char *LatestCommand() { return state().latestCommand; }
std::string AnswerText() { return answerSink().text(); }
char *StationTable() { return state().stationTable; }

void resetTransactionStateForTest() {
    TransactionState &s = state();
    s.errorNumber = 0;
    s.errorMessage[0] = '\0';
    s.lastValue = 0;
    s.latestCommand[0] = '\0';
    s.transactionIdle.store(1);
    s.suppressValue = false;
    s.lastFailure = FailureRecord{};
    copyText(s.stationTable, sizeof s.stationTable, "NNNNNNNNNNNNNNNN");
    answerSink().reset();
}

// ----- transactions ----------------------------------------------------------------------

int ItcCommand(const char *command) {
    TransactionState &s = state();
    if (!portState().PortUsed) {
        SetError(25, "Commands cannot be sent before a COM port is open");
        return kTransactionFailed;
    }
    ClearError();
    if (!portState().PortHandle) {
        SetError(25, "Commands cannot be sent before a COM port is open");
        return kTransactionFailed;
    }
    char frame[kMaxCommandLength + 2];
    if (command == nullptr) {
        SetError(27, "Command rejected: no command text given");
        return kTransactionFailed;
    }
    if (!buildFrame(command, frame)) {
        SetError(27, "Command rejected: longer than %d characters (command = %.40s...)",
                 kMaxCommandLength, command);
        return kTransactionFailed;
    }

    s.transactionIdle.store(0);
    answerSink().reset();
    const std::size_t frameLength = std::strlen(frame);
    WriteComm(frame, frameLength);  // a failed write shows as a missing answer
    copyText(s.latestCommand, kLatestCommandSize, frame);

    bool answered = waitForAnswer();
    if (!answered) {
        WriteComm("\r", 1);
        WriteComm(frame, frameLength);
        for (int attempt = 0; attempt < 2 && !answered; ++attempt) {
            diag("CorvexLinkDLL: ItcCommand --> Timeout (Retry needed). Last command = %s\n", command);
            answered = waitForAnswer();
        }
    }
    if (!answered) {
        SetError(26, "ItcCommand: COM port timed out (command = %s)", command);
        s.transactionIdle.store(1);
        return kTransactionFailed;
    }

    // The working text: the answer without BEL, LF, CR, 'H' and 'L', at most 99 characters.
    const std::string raw = answerSink().text();
    char work[100];
    std::size_t length = 0;
    for (char c : raw) {
        if (c == '\a' || c == '\n' || c == '\r' || c == 'H' || c == 'L') continue;
        if (length == sizeof work - 1) break;
        work[length++] = c;
    }
    work[length] = '\0';

    if (length > 1 && work[0] == '?') {
        int code = 0;
        for (std::size_t i = 1; i <= 3 && i < length && std::isdigit(static_cast<unsigned char>(work[i])); ++i) {
            code = code * 10 + (work[i] - '0');
        }
        if (code >= 1 && code <= 9) {
            SetError(code, kAnswerCodeFormats[code - 1], command, raw.c_str());
        } else {
            SetError(-1, kUnknownCodeFormat, command, raw.c_str());
        }
        s.transactionIdle.store(1);
        return code == 3 ? kTransactionFifoFull : kTransactionFailed;
    }

    if (length > 0) work[--length] = '\0';  // drop the prompt
    // A value is at least one digit: "7>" is 7, while a lone other character is none.
    const bool value = length > 1 || (length == 1 && std::isdigit(static_cast<unsigned char>(work[0])));
    if (value && !s.suppressValue) s.lastValue = parseLeadingInt(work);
    s.transactionIdle.store(1);
    return kTransactionOk;
}

int WriteSP(const char *text) {
    TransactionState &s = state();
    char frame[kMaxCommandLength + 2];
    if (text == nullptr || !buildFrame(text, frame)) {
        SetError(26, "WriteSP: COM port timed out");
        return 0;
    }
    s.transactionIdle.store(0);
    answerSink().reset();
    WriteComm(frame, std::strlen(frame));
    const bool answered = waitForAnswer();
    if (!answered) SetError(26, "WriteSP: COM port timed out");
    s.transactionIdle.store(1);
    return answered ? 1 : 0;
}

}  // namespace corvex::link
