// SPDX-License-Identifier: MIT
// The test build's way into the library's line: its seams (the device factory, the event
// pump, the port dialog), a fresh line in place of the one in use, and the state tests look
// at. Only tests include it; the library itself declares LineAccess as a friend and nothing
// more.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "link/line.h"
#include "link/line_registry.h"
#include "link/transaction.h"

namespace corvex::test {

struct LineAccess {
    static link::LineSeams &seams(link::Line &line) { return line.seams_; }

    // Puts a fresh default line, at its load-time state, in place of the library's; the
    // seams the tests have installed stay. The old line closes its port once the last call
    // on it has let go of it.
    static void renew() {
        const std::shared_ptr<link::Line> old = link::defaultLine();
        link::replaceDefaultLine(std::make_shared<link::Line>(old->seams_));
    }
};

inline link::Line &line() { return link::theLine(); }
inline link::LineSeams &seams() { return LineAccess::seams(line()); }

// Closes the port and puts the whole library back to its load-time state.
inline void resetLibrary() { LineAccess::renew(); }

// The raw text of the last answer (what the worker received since the last command).
inline std::string answerText() { return line().port.answer().text(); }

// The station table: 16 characters, 'N' or the address as one hexadecimal digit.
inline char *stationTable() { return line().stations.table; }

// A call on the line that reports into the state the exports report into.
inline link::Call sharedCall() { return link::Call{line(), line().shared}; }

// While alive, `pump` is called wherever the library dispatches the caller's events.
class PumpScope {
public:
    explicit PumpScope(std::function<void()> pump) { seams().pumpMessages = std::move(pump); }
    ~PumpScope() { seams().pumpMessages = nullptr; }
    PumpScope(const PumpScope &) = delete;
    PumpScope &operator=(const PumpScope &) = delete;
};

}  // namespace corvex::test
