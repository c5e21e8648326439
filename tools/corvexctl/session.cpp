// SPDX-License-Identifier: MIT
// Output forms, the library error check, the port of one command and the stop signal.
#include "session.h"

#include "escaping.h"

#include <CorvexLink.h>

#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace corvexctl {

void check(int result, const char *call) {
    if (result != -1) return;
    std::string message = ZelmarGetErrorMessage();
    const int number = ZelmarGetNumberError();
    // Argument errors found by the library keep the previous number; the tool refuses such
    // arguments itself, so an empty message only comes from a list the library would not read.
    if (message.empty()) message = std::string(call) + " refused its arguments";
    throw Failure(message, number);
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
    std::string line = "corvexctl: " + command + ": " + failure.what();
    if (failure.number()) line += " (error " + std::to_string(*failure.number()) + ")";
    std::cerr << terminalText(line) << std::endl;
    if (json_) {
        nlohmann::json error = {{"message", failure.what()}};
        error["number"] =
            failure.number() ? nlohmann::json(*failure.number()) : nlohmann::json(nullptr);
        printJson({{"ok", false}, {"command", command}, {"error", error}});
    }
}

void Output::usageError(const std::string &message) const {
    if (json_) printJson({{"ok", false}, {"usage_error", message}});
}

Session::~Session() { close(); }

void Session::open() {
    if (open_) return;
    if (!options_.device.empty()) {
        const std::string name = "CORVEXLINK_COM" + std::to_string(options_.port);
        setenv(name.c_str(), options_.device.c_str(), 1);
    }
    check(PortOpen(options_.port, options_.baud), "PortOpen");
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
