// SPDX-License-Identifier: MIT
// The failures of the server's calls, before they become Tango exceptions: what went wrong,
// the library's error number when the library reported it, and whether anything was sent.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace corvextango {

enum class FailureKind {
    Library,   // the library (or the station through it) reported a failure
    Argument,  // a value refused before anything was sent
    NotOpen,   // the line is not open (never opened, or the open failed)
    Lost,      // the line went away; nothing is sent until it is reconnected
    Busy,      // the line is busy with a scan, an initialisation or a reconnection
};

class Failure : public std::runtime_error {
public:
    Failure(FailureKind kind, std::string message, std::optional<int> number = std::nullopt)
        : std::runtime_error(std::move(message)), kind_(kind), number_(number) {}

    FailureKind kind() const { return kind_; }
    // The library's error number (of the failed call, on its line) for a library failure.
    std::optional<int> number() const { return number_; }
    // The Tango reason: CorvexLink_Error_<number> for a library failure (the number a
    // client can take from it), CorvexLink_ArgumentError, CorvexLink_LineNotOpen,
    // CorvexLink_LineLost or CorvexLink_LineBusy otherwise.
    std::string reason() const {
        switch (kind_) {
        case FailureKind::Library:
            return number_ ? "CorvexLink_Error_" + std::to_string(*number_) : "CorvexLink_Error";
        case FailureKind::Argument: return "CorvexLink_ArgumentError";
        case FailureKind::NotOpen: return "CorvexLink_LineNotOpen";
        case FailureKind::Lost: return "CorvexLink_LineLost";
        case FailureKind::Busy: return "CorvexLink_LineBusy";
        }
        return "CorvexLink_Error";
    }

private:
    FailureKind kind_;
    std::optional<int> number_;
};

}  // namespace corvextango
