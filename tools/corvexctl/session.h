// SPDX-License-Identifier: MIT
// The pieces every corvexctl subcommand shares: the global options, the open lines, the
// output (plain text or one JSON object per result) and the failure that ends a command.
#pragma once

#include <CorvexLink.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvexctl {

// Global options, filled by the argument parser before any subcommand runs.
struct GlobalOptions {
    int port = 1;                      // the line COM<port> when no device is named
    std::vector<std::string> devices;  // --device, given once, or more for some commands
    int baud = 9600;
    bool json = false;
    std::string simulate;  // station list for a private simulator
    bool verbose = false;
    bool trace = false;  // the frame trace on stderr
};

// A failure that ends the command with exit code 1. `number` is the library's error
// number when the failure came from the library, empty for the tool's own failures; the
// message is then in the technician's words, and `libraryMessage` the library's own text.
// `details` are further fields of the JSON error (the device and reason of a failed open).
class Failure : public std::runtime_error {
public:
    Failure(std::string message, std::optional<int> number = std::nullopt,
            std::string libraryMessage = {}, nlohmann::json details = nlohmann::json::object())
        : std::runtime_error(std::move(message)), number_(number),
          libraryMessage_(std::move(libraryMessage)), details_(std::move(details)) {}
    std::optional<int> number() const { return number_; }
    const std::string &libraryMessage() const { return libraryMessage_; }
    const nlohmann::json &details() const { return details_; }
    // The line the failure happened on, for the "line" field of its JSON object; "" when the
    // command does not name its line in its results.
    const std::string &line() const { return line_; }
    Failure &onLine(std::string line) {
        line_ = std::move(line);
        return *this;
    }

private:
    std::optional<int> number_;
    std::string libraryMessage_;
    nlohmann::json details_;
    std::string line_;
};

// The error of the calling thread's last call on `line`, as a Failure. `station` is the
// address the command was given, for a time-out whose frame does not name the station.
Failure libraryFailure(CorvexLinkLine *line, const char *call, const std::string &station = {});
// Throws libraryFailure(line, call, station) when a call returned -1.
void check(CorvexLinkLine *line, int result, const char *call, const std::string &station = {});

// The library's debug lines on stderr, escaped, with --verbose (or CORVEXLINK_DEBUG=1, as
// the library does by itself).
void routeDiagnostics(bool verbose);

// Prints results in the chosen form.
class Output {
public:
    explicit Output(bool json, bool verbose = false) : json_(json), verbose_(verbose) {}
    bool json() const { return json_; }
    // One result: `fields` as a JSON object (with "ok" and "command" added), or `text`.
    void result(const std::string &command, nlohmann::json fields, const std::string &text) const;
    // The failure of a command: JSON on stdout when asked for (with the failure's line, when
    // it has one), the message on stderr always (with --verbose followed by the library's
    // own text).
    void failure(const std::string &command, const Failure &failure) const;
    // A usage error (exit code 2): "corvexctl: [command: ]message" on stderr, and the JSON
    // object with the command, when known, under --json.
    void usageError(const std::string &message, const std::string &command = {}) const;

private:
    bool json_;
    bool verbose_;
};

class FrameTrace;

// One line of a command: its name as given ("COM1", "/dev/ttyUSB0", "rfc2217://host:4001")
// and its handle while it is open.
struct OpenLine {
    std::string name;
    CorvexLinkLine *handle = nullptr;
};

// The lines of one command: opened on first use, each by its name, closed at the end.
class Session {
public:
    Session(const GlobalOptions &options, const Output &output, FrameTrace *trace = nullptr);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Opens every line named; a Failure for the first that does not open, which names its
    // device and the reason.
    void open();
    void close();
    // The line of a command that takes one (the first; main() refuses more), opened.
    CorvexLinkLine *line();
    // Every line of the command, opened.
    const std::vector<OpenLine> &lines();
    const Output &out() const { return output_; }
    const GlobalOptions &options() const { return options_; }

private:
    const GlobalOptions &options_;
    const Output &output_;
    FrameTrace *trace_;
    std::vector<OpenLine> lines_;
    bool open_ = false;
};

// Thrown once a command has printed its failures itself: it ends with exit code 1.
struct FailureReported {};

// One line's result: its JSON fields and its text.
struct LineResult {
    nlohmann::json fields;
    std::string text;
};

// The outcome of some work on one line: its result, or the failure that ended it.
struct LineOutcome {
    const OpenLine *line = nullptr;
    std::optional<LineResult> result;
    std::optional<Failure> failure;
};

// Runs `work` on every line of the session at once, one thread each (lines never wait for
// each other, and each thread reads its own errors), and gives the outcomes in the order
// of the lines.
std::vector<LineOutcome> onEveryLine(Session &session,
                                     const std::function<LineResult(const OpenLine &)> &work);

// Prints each line's result (its fields with "line" added; its text, after the line's name
// when there are several lines) or its failure (naming the line); throws FailureReported
// when any line failed.
void printOutcomes(const Session &session, const std::string &command,
                   const std::vector<LineOutcome> &outcomes);

// Set by SIGINT and SIGTERM; long-running commands stop when it turns true.
bool stopRequested();
void installStopHandler();
// Sleeps up to `milliseconds`, returning early (false) when a stop was requested.
bool pause(int milliseconds);

}  // namespace corvexctl
