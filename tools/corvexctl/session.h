// SPDX-License-Identifier: MIT
// The pieces every corvexctl subcommand shares: the global options, the open port, the
// output (plain text or one JSON object per result) and the failure that ends a command.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>

namespace corvexctl {

// Global options, filled by the argument parser before any subcommand runs.
struct GlobalOptions {
    int port = 1;
    std::string device;  // sets CORVEXLINK_COM<port> for this process
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

private:
    std::optional<int> number_;
    std::string libraryMessage_;
    nlohmann::json details_;
};

// The library's error state after `call` failed, as a Failure. `station` is the address the
// command was given, for a time-out whose message does not name the station.
Failure libraryFailure(const char *call, const std::string &station = {});
// Throws libraryFailure(call, station) when a call returned -1.
void check(int result, const char *call, const std::string &station = {});

// The library's debug lines: on stderr with --verbose (or CORVEXLINK_DEBUG=1, as the library
// does by itself), and kept so that a port that does not open can name the system's reason.
void routeDiagnostics(bool verbose);

// Prints results in the chosen form.
class Output {
public:
    explicit Output(bool json, bool verbose = false) : json_(json), verbose_(verbose) {}
    bool json() const { return json_; }
    // One result: `fields` as a JSON object (with "ok" and "command" added), or `text`.
    void result(const std::string &command, nlohmann::json fields, const std::string &text) const;
    // The failure of a command: JSON on stdout when asked for, the message on stderr always
    // (with --verbose followed by the library's own text).
    void failure(const std::string &command, const Failure &failure) const;
    // A usage error (exit code 2): "corvexctl: [command: ]message" on stderr, and the JSON
    // object with the command, when known, under --json.
    void usageError(const std::string &message, const std::string &command = {}) const;

private:
    bool json_;
    bool verbose_;
};

// The open line of one command: opens the port on first use, closes it at the end.
class Session {
public:
    Session(const GlobalOptions &options, const Output &output)
        : options_(options), output_(output) {}
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    void open();
    void close();
    const Output &out() const { return output_; }
    const GlobalOptions &options() const { return options_; }

private:
    const GlobalOptions &options_;
    const Output &output_;
    bool open_ = false;
};

// Set by SIGINT and SIGTERM; long-running commands stop when it turns true.
bool stopRequested();
void installStopHandler();
// Sleeps up to `milliseconds`, returning early (false) when a stop was requested.
bool pause(int milliseconds);

}  // namespace corvexctl
