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
// number when the failure came from the library, empty for the tool's own failures.
class Failure : public std::runtime_error {
public:
    Failure(std::string message, std::optional<int> number = std::nullopt)
        : std::runtime_error(std::move(message)), number_(number) {}
    std::optional<int> number() const { return number_; }

private:
    std::optional<int> number_;
};

// Throws a Failure with the library's error state when a call returned -1.
void check(int result, const char *call);

// Prints results in the chosen form.
class Output {
public:
    explicit Output(bool json) : json_(json) {}
    bool json() const { return json_; }
    // One result: `fields` as a JSON object (with "ok" and "command" added), or `text`.
    void result(const std::string &command, nlohmann::json fields, const std::string &text) const;
    // The failure of a command: JSON on stdout when asked for, the message on stderr always.
    void failure(const std::string &command, const Failure &failure) const;
    void usageError(const std::string &message) const;

private:
    bool json_;
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
