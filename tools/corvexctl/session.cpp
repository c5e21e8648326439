// SPDX-License-Identifier: MIT
// Output forms, the library error check, the lines of one command, work on several lines at
// once, and the stop signal.
#include "session.h"

#include "escaping.h"
#include "frame_trace.h"
#include "messages.h"

#include <CorvexLink.h>

#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

namespace corvexctl {

Failure libraryFailure(CorvexLinkLine *line, const char *call, const std::string &station) {
    // The calling thread's own outcome of its last call on this line.
    const std::string text = CorvexLinkLineGetErrorMessage(line);
    const int number = CorvexLinkLineGetNumberError(line);
    char sent[CORVEXLINK_COMMAND_BUFFER_SIZE] = {};
    if (CorvexLinkLineGetLastestCommand(line, sent) != 1) sent[0] = '\0';
    // Argument errors found by the library keep the previous number; the tool refuses such
    // arguments itself, so an empty message only comes from a list the library would not read.
    return Failure(plainMessage(number, text, sent, station), number,
                   text.empty() ? std::string(call) + " refused its arguments" : text);
}

void check(CorvexLinkLine *line, int result, const char *call, const std::string &station) {
    if (result == -1) throw libraryFailure(line, call, station);
}

namespace {

bool gEchoDiagnostics = false;

void onDebugLine(const char *line, void *) {
    if (!gEchoDiagnostics) return;
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    // The answer bytes the lines quote are escaped; one write keeps each line whole.
    const std::string shown = terminalText(text) + "\n";
    std::fwrite(shown.data(), 1, shown.size(), stderr);
}

}  // namespace

void routeDiagnostics(bool verbose) {
    const char *debug = std::getenv("CORVEXLINK_DEBUG");
    gEchoDiagnostics = verbose || (debug != nullptr && std::strcmp(debug, "1") == 0);
    CorvexLinkSetDebugHandler(onDebugLine, nullptr);
}

namespace {

// Every string in `value`, keys included, with the bytes that are not UTF-8 escaped, so
// that any text a station or the system hands over can be written as JSON.
void makeWellFormed(nlohmann::json &value) {
    if (value.is_string()) {
        value = wellFormedUtf8(value.get_ref<const std::string &>());
    } else if (value.is_array()) {
        for (auto &item : value) makeWellFormed(item);
    } else if (value.is_object()) {
        nlohmann::json fixed = nlohmann::json::object();
        for (auto &[key, item] : value.items()) {
            makeWellFormed(item);
            fixed[wellFormedUtf8(key)] = std::move(item);
        }
        value = std::move(fixed);
    }
}

// One JSON object on one line of stdout.
void printJson(nlohmann::json value) {
    makeWellFormed(value);
    // Nothing is left to replace; the handler only keeps a slip from ending the program.
    std::cout << value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

}  // namespace

void Output::result(const std::string &command, nlohmann::json fields,
                    const std::string &text) const {
    if (json_) {
        nlohmann::json object = {{"ok", true}, {"command", command}};
        object.update(fields);
        printJson(std::move(object));
    } else if (!text.empty()) {
        std::cout << terminalText(text, true) << std::endl;
    }
}

void Output::failure(const std::string &command, const Failure &failure) const {
    const std::string prefix = "corvexctl: " + command + ": ";
    std::string line = prefix + failure.what();
    if (failure.number()) line += " (error " + std::to_string(*failure.number()) + ")";
    std::cerr << terminalText(line) << std::endl;
    if (verbose_ && !failure.libraryMessage().empty() && failure.libraryMessage() != failure.what())
        std::cerr << terminalText(prefix + "the library says: " + failure.libraryMessage())
                  << std::endl;
    if (json_) {
        nlohmann::json error = {{"message", failure.what()}};
        error["number"] =
            failure.number() ? nlohmann::json(*failure.number()) : nlohmann::json(nullptr);
        if (failure.number()) error["library_message"] = failure.libraryMessage();
        error.update(failure.details());
        nlohmann::json object = {{"ok", false}, {"command", command}};
        if (!failure.line().empty()) object["line"] = failure.line();
        object["error"] = std::move(error);
        printJson(std::move(object));
    }
}

void Output::usageError(const std::string &message, const std::string &command) const {
    const std::string where = command.empty() ? "" : command + ": ";
    std::cerr << terminalText("corvexctl: " + where + message) << "\n"
              << terminalText("corvexctl " + (command.empty() ? "" : command + " ") +
                              "--help describes the arguments")
              << std::endl;
    if (json_) {
        nlohmann::json object = {{"ok", false}};
        if (!command.empty()) object["command"] = command;
        object["usage_error"] = message;
        printJson(std::move(object));
    }
}

Session::Session(const GlobalOptions &options, const Output &output, FrameTrace *trace)
    : options_(options), output_(output), trace_(trace) {
    if (options_.devices.empty())
        lines_.push_back({"COM" + std::to_string(options_.port)});
    else
        for (const auto &device : options_.devices) lines_.push_back({device});
}

Session::~Session() { close(); }

void Session::open() {
    if (open_) return;
    open_ = true;
    // Each open waits for the stations to settle: several lines are opened at once.
    std::vector<CorvexLinkResult> results(lines_.size());
    const auto openOne = [&](std::size_t i) {
        CorvexLinkLineOpen(lines_[i].name.c_str(), options_.baud, &lines_[i].handle, &results[i]);
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < lines_.size(); ++i) threads.emplace_back(openOne, i);
    openOne(0);
    for (auto &thread : threads) thread.join();
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].handle == nullptr)
            throw openFailure(lines_[i].name, results[i]).onLine(lines_[i].name);
    if (trace_ != nullptr)
        for (const auto &line : lines_) trace_->attach(line.handle, lines_.size() > 1);
}

void Session::close() {
    if (!open_) return;
    open_ = false;
    for (auto &line : lines_) {
        if (line.handle != nullptr) CorvexLinkLineClose(line.handle);
        line.handle = nullptr;
    }
}

CorvexLinkLine *Session::line() {
    open();
    return lines_.front().handle;
}

const std::vector<OpenLine> &Session::lines() {
    open();
    return lines_;
}

std::vector<LineOutcome> onEveryLine(Session &session,
                                     const std::function<LineResult(const OpenLine &)> &work) {
    const auto &lines = session.lines();
    std::vector<LineOutcome> outcomes(lines.size());
    const auto run = [&](std::size_t i) {
        outcomes[i].line = &lines[i];
        try {
            outcomes[i].result = work(lines[i]);
        } catch (const Failure &failure) {
            outcomes[i].failure = failure;
        } catch (const std::exception &error) {
            outcomes[i].failure = Failure(error.what());
        }
    };
    if (lines.size() == 1) {
        run(0);
        return outcomes;
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < lines.size(); ++i) threads.emplace_back(run, i);
    for (auto &thread : threads) thread.join();
    return outcomes;
}

void printOutcomes(const Session &session, const std::string &command,
                   const std::vector<LineOutcome> &outcomes) {
    const bool several = outcomes.size() > 1;
    bool failed = false;
    for (const auto &outcome : outcomes) {
        const std::string &name = outcome.line->name;
        if (outcome.failure) {
            failed = true;
            const Failure &f = *outcome.failure;
            Failure named(several ? name + ": " + f.what() : f.what(), f.number(),
                          f.libraryMessage(), f.details());
            session.out().failure(command, named.onLine(name));
            continue;
        }
        nlohmann::json fields = {{"line", name}};
        fields.update(outcome.result->fields);
        session.out().result(command, fields,
                             several ? name + ": " + outcome.result->text : outcome.result->text);
    }
    if (failed) throw FailureReported{};
}

namespace {
volatile sig_atomic_t gStop = 0;
void onStop(int) { gStop = 1; }
}  // namespace

bool stopRequested() { return gStop != 0; }

void installStopHandler() {
    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a sleep ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool pause(int milliseconds) {
    timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (!stopRequested() && nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
    return !stopRequested();
}

}  // namespace corvexctl
