// SPDX-License-Identifier: MIT
// Exports of the diagnostics family: a caller's handlers for the library's debug lines and
// for the frame trace of a line.
#include "../link/line_registry.h"
#include "../platform/diagnostics.h"
#include "alias.h"
#include "course.h"

namespace {

// Sets a line's trace handler. Takes no export lock: a handler can be set or removed while
// another thread waits for an answer on the line, and the hub has a lock of its own.
int setTraceHandler(const corvex::exports::Target &target, CorvexLinkTraceHandler handler,
                    void *context) {
    if (!target.line) return -1;
    target.line->trace.setHandler(handler, context);
    return 1;
}

}  // namespace

// Takes no export lock either: the sink has a lock of its own.
extern "C" int CorvexLinkSetDebugHandler(CorvexLinkDebugHandler handler, void *context) {
    try {
        if (!handler) {
            corvex::platform::setDiagnosticsSink({});
            return 1;
        }
        corvex::platform::setDiagnosticsSink(
            [handler, context](const std::string &line) { handler(line.c_str(), context); });
        return 1;
    } catch (...) {
        return -1;
    }
}
CORVEXLINK_ALIAS(CorvexLinkSetDebugHandler)

extern "C" int CorvexLinkSetTraceHandler(CorvexLinkTraceHandler handler, void *context) {
    try {
        return setTraceHandler(corvex::exports::defaultTarget(), handler, context);
    } catch (...) {
        return -1;
    }
}
CORVEXLINK_ALIAS(CorvexLinkSetTraceHandler)

extern "C" int CorvexLinkLineSetTraceHandler(CorvexLinkLine *line, CorvexLinkTraceHandler handler,
                                             void *context) {
    try {
        return setTraceHandler(corvex::exports::handleTarget(line), handler, context);
    } catch (...) {
        return -1;
    }
}
CORVEXLINK_ALIAS(CorvexLinkLineSetTraceHandler)
