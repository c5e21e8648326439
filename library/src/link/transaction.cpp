// SPDX-License-Identifier: MIT
#include "transaction.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "CorvexLink.h"
#include "../platform/diagnostics.h"
#include "trace.h"

namespace corvex::link {

using platform::diag;

namespace {

constexpr auto kAnswerWait = std::chrono::milliseconds(200);
constexpr auto kDuplicateMargin = std::chrono::milliseconds(50);
constexpr int kWaitsAfterSilence = 2;  // further answer waits after the first one

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
constexpr const char *kNoPortMessage = "Commands cannot be sent before a COM port is open";

// Waits up to 200 ms for the answer to hold a prompt. An answer that is already on its way
// is taken up at once; otherwise the caller sleeps until the worker signals the prompt,
// using no CPU while the bytes are on the wire.
bool waitForAnswer(AnswerSink &sink) {
    return sink.waitComplete(std::chrono::steady_clock::now() + kAnswerWait);
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

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Starts a command with an empty answer. After a repeated frame, the station may answer
// both copies: a second answer that has arrived is dropped with the rest, and one that is
// still due is waited for (up to one answer wait after the repeat) and dropped, so that it
// is not taken as this command's answer.
void discardStaleInput(Line &line) {
    AnswerSink &sink = line.port.answer();
    const auto until = line.duplicateUntil;
    line.duplicateUntil = {};
    if (until == std::chrono::steady_clock::time_point{} ||
        std::chrono::steady_clock::now() >= until) {
        sink.reset();
        return;
    }
    const std::string held = sink.text();
    const bool secondArrived = std::count(held.begin(), held.end(), '>') >= 2;
    sink.reset();
    if (!secondArrived && sink.waitComplete(until)) sink.reset();
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

// Waits for the answer to a frame that did not come within the first wait. A frame that is
// safe to repeat is sent once more (after a lone CR that ends any broken frame); one that is
// not is only waited for, as long as the repeat would have been. Whether it came.
bool waitAfterSilence(Line &line, const char *command, const char *frame, bool repeat) {
    AnswerSink &sink = line.port.answer();
    if (repeat) {
        trace::record(CORVEXLINK_TRACE_REPEAT, frame, std::strlen(frame));
        line.port.write("\r", 1);
        line.port.write(frame, std::strlen(frame));
    }
    for (int attempt = 0; attempt < kWaitsAfterSilence; ++attempt) {
        if (repeat) {
            diag("CorvexLinkDLL: ItcCommand --> Timeout (Retry needed). Last command = %s\n",
                 command);
        } else if (attempt == 0) {
            diag("CorvexLinkDLL: ItcCommand --> Timeout, not repeated (it may have been "
                 "executed). Last command = %s\n",
                 command);
        }
        if (waitForAnswer(sink)) return true;
    }
    return false;
}

}  // namespace

int refuseRetired(Call &call) {
    call.errors().set(CORVEXLINK_ERR_LINE_CLOSED, "The line is closed");
    return -1;
}

bool lineUsable(Call &call, const char *who, const char *command) {
    Line &line = call.line;
    if (line.retired()) {
        refuseRetired(call);
        return false;
    }
    if (line.port.lost()) {
        const platform::SerialDevice *device = line.port.device();
        const char *path = device != nullptr ? device->path().c_str() : "";
        if (command != nullptr) {
            call.errors().set(CORVEXLINK_ERR_LINE_LOST,
                              "%s: the line is lost (%s), open the port again (command = %s)", who,
                              path, command);
        } else {
            call.errors().set(CORVEXLINK_ERR_LINE_LOST,
                              "%s: the line is lost (%s), open the port again", who, path);
        }
        return false;
    }
    return true;
}

bool safeToRepeat(std::string_view command) {
    // The letter follows the address prefix: '_' and one hexadecimal digit for a station, or
    // four hexadecimal digits (a mask) for a group.
    std::size_t letter = std::string_view::npos;
    if (command.size() >= 3 && command[0] == '_' && isHexDigit(command[1])) {
        letter = 2;
    } else if (command.size() >= 5 &&
               std::all_of(command.begin(), command.begin() + 4, isHexDigit)) {
        letter = 4;
    }
    if (letter == std::string_view::npos) return true;
    switch (command[letter]) {
    case '&':  // a FIFO entry: queued twice, executed twice
    case 'N':  // relative move
    case 'G':  // repeat the last move
    case 'X':  // run the stored program
    case 'L':  // run the stored program in a loop
        return false;
    default: return true;
    }
}

Reply transact(Call &call, const char *command, ValueUse use) {
    Line &line = call.line;
    CallerState &caller = call.caller;
    ErrorState &errors = caller.errors;
    Reply reply;
    const LineGate::Step step(line.gate);
    if (!line.selection.used) {
        errors.set(CORVEXLINK_ERR_NO_PORT, "%s", kNoPortMessage);
        return reply;
    }
    errors.clear();
    if (!line.selection.open) {
        errors.set(CORVEXLINK_ERR_NO_PORT, "%s", kNoPortMessage);
        return reply;
    }
    char frame[kMaxCommandLength + 2];
    if (command == nullptr) {
        errors.set(CORVEXLINK_ERR_COMMAND_REJECTED, "Command rejected: no command text given");
        return reply;
    }
    if (!lineUsable(call, "ItcCommand", command)) return reply;
    if (!buildFrame(command, frame)) {
        errors.set(CORVEXLINK_ERR_COMMAND_REJECTED,
                   "Command rejected: longer than %d characters (command = %.40s...)",
                   kMaxCommandLength, command);
        return reply;
    }

    AnswerSink &sink = line.port.answer();
    discardStaleInput(line);
    const std::size_t frameLength = std::strlen(frame);
    line.port.write(frame, frameLength);  // a failed write shows as a missing answer
    const trace::Clock::time_point sentAt = trace::Clock::now();
    std::snprintf(caller.latestCommand, sizeof caller.latestCommand, "%s", frame);

    bool answered = waitForAnswer(sink);
    const bool repeat = !answered && safeToRepeat(command);
    std::size_t heldBeforeRepeat = 0;
    if (!answered) {
        heldBeforeRepeat = repeat ? sink.text().size() : 0;
        answered = waitAfterSilence(line, command, frame, repeat);
    }
    if (!answered) {
        trace::record(CORVEXLINK_TRACE_TIMEOUT, frame, frameLength, sentAt);
        if (repeat) {
            errors.set(CORVEXLINK_ERR_NO_ANSWER, "ItcCommand: COM port timed out (command = %s)",
                       command);
        } else {
            errors.set(CORVEXLINK_ERR_NO_ANSWER,
                       "ItcCommand: COM port timed out, the command may have been executed "
                       "(command = %s)",
                       command);
        }
        return reply;
    }

    // The other copy's answer comes about one answer wait after this one at the latest
    // (the station delays both alike), with a margin for the repeat's own write.
    if (repeat)
        line.duplicateUntil = std::chrono::steady_clock::now() + kAnswerWait + kDuplicateMargin;
    reply.raw = sink.text();
    if (heldBeforeRepeat > 0)
        reply.raw = withoutBrokenStart(std::move(reply.raw), heldBeforeRepeat);
    trace::record(CORVEXLINK_TRACE_RECEIVED, reply.raw.data(), reply.raw.size(), sentAt);
    reply.answer = interpretAnswer(reply.raw);
    if (reply.answer.kind == AnswerKind::Error) {
        const int code = reply.answer.code;
        if (code >= CORVEXLINK_ERR_OUT_OF_RANGE && code <= CORVEXLINK_ERR_CANNOT_EXECUTE) {
            errors.set(code, kAnswerCodeFormats[code - CORVEXLINK_ERR_OUT_OF_RANGE], command,
                       reply.raw.c_str());
        } else {
            errors.set(CORVEXLINK_ERR_UNKNOWN_CODE, kUnknownCodeFormat, command, reply.raw.c_str());
        }
        reply.result = code == CORVEXLINK_ERR_FIFO_FULL ? kTransactionFifoFull : kTransactionFailed;
    } else {
        if (use == ValueUse::Store && reply.answer.hasValue && !line.suppressValue)
            caller.lastValue = reply.answer.value;
        reply.result = kTransactionOk;
    }
    return reply;
}

int ItcCommand(Call &call, const char *command) {
    return transact(call, command, ValueUse::Store).result;
}

int WriteSP(Call &call, const char *text) {
    Line &line = call.line;
    const LineGate::Step step(line.gate);
    char frame[kMaxCommandLength + 2];
    if (text == nullptr || !buildFrame(text, frame)) {
        call.errors().set(CORVEXLINK_ERR_NO_ANSWER, "WriteSP: COM port timed out");
        return 0;
    }
    if (!lineUsable(call, "WriteSP", nullptr)) return 0;
    discardStaleInput(line);
    const std::size_t frameLength = std::strlen(frame);
    line.port.write(frame, frameLength);
    const trace::Clock::time_point sentAt = trace::Clock::now();
    const bool answered = waitForAnswer(line.port.answer());
    if (answered) {
        const std::string raw = line.port.answer().text();
        trace::record(CORVEXLINK_TRACE_RECEIVED, raw.data(), raw.size(), sentAt);
    } else {
        trace::record(CORVEXLINK_TRACE_TIMEOUT, frame, frameLength, sentAt);
        call.errors().set(CORVEXLINK_ERR_NO_ANSWER, "WriteSP: COM port timed out");
    }
    return answered ? 1 : 0;
}

}  // namespace corvex::link
