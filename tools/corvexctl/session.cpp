// SPDX-License-Identifier: MIT
// Output forms, the library error check, the port of one command and the stop signal.
#include "session.h"

#include "escaping.h"
#include "messages.h"

#include <CorvexLink.h>

#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <vector>

namespace corvexctl {

Failure libraryFailure(const char *call, const std::string &station) {
    const std::string text = ZelmarGetErrorMessage();
    const int number = ZelmarGetNumberError();
    // Argument errors found by the library keep the previous number; the tool refuses such
    // arguments itself, so an empty message only comes from a list the library would not read.
    return Failure(plainMessage(number, text, station), number,
                   text.empty() ? std::string(call) + " refused its arguments" : text);
}

void check(int result, const char *call, const std::string &station) {
    if (result == -1) throw libraryFailure(call, station);
}

namespace {

std::mutex gDiagnosticsMutex;
bool gEchoDiagnostics = false;
std::vector<std::string> gDiagnostics;  // the lines since the last clearDiagnostics()

void onDebugLine(const char *line, void *) {
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const std::lock_guard<std::mutex> lock(gDiagnosticsMutex);
    // The answer bytes the lines quote are escaped.
    if (gEchoDiagnostics) std::fprintf(stderr, "%s\n", terminalText(text).c_str());
    if (gDiagnostics.size() < 64) gDiagnostics.push_back(std::move(text));
}

void clearDiagnostics() {
    const std::lock_guard<std::mutex> lock(gDiagnosticsMutex);
    gDiagnostics.clear();
}

// The failure the library named for `port` in a diagnostics line since the last clear.
std::optional<std::string> openFailureSaid(int port) {
    const std::lock_guard<std::mutex> lock(gDiagnosticsMutex);
    std::optional<std::string> found;
    for (const auto &line : gDiagnostics)
        if (auto failure = openFailureOf(line, port)) found = std::move(failure);
    return found;
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
        printJson({{"ok", false}, {"command", command}, {"error", error}});
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

Session::~Session() { close(); }

void Session::open() {
    if (open_) return;
    if (!options_.device.empty()) {
        const std::string name = "CORVEXLINK_COM" + std::to_string(options_.port);
        setenv(name.c_str(), options_.device.c_str(), 1);
    }
    clearDiagnostics();
    if (PortOpen(options_.port, options_.baud) == -1) {
        Failure failure = libraryFailure("PortOpen");
        // The library names the device and the system's reason in a diagnostics line.
        const auto said = openFailureSaid(options_.port);
        if (failure.number() != CORVEXLINK_ERR_OPEN_FAILED || !said) throw failure;
        char device[CORVEXLINK_PORT_PATH_SIZE] = {};
        if (PortDevice(options_.port, device, sizeof device) != 1) device[0] = '\0';
        const OpenFailure open = splitOpenFailure(*said, device);
        nlohmann::json details = {{"port", options_.port}, {"reason", open.reason}};
        details["device"] =
            open.device.empty() ? nlohmann::json(nullptr) : nlohmann::json(open.device);
        throw Failure("cannot open COM" + std::to_string(options_.port) + ": " + *said,
                      failure.number(), failure.libraryMessage(), std::move(details));
    }
    open_ = true;
}

void Session::close() {
    if (!open_) return;
    open_ = false;
    PortClose();
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
