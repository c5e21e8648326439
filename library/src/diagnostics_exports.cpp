// SPDX-License-Identifier: MIT
// Exports of the diagnostics family: a caller's handlers for the library's debug lines and
// for the frame trace.
#include "export.h"
#include "link/trace.h"
#include "platform/diagnostics.h"

// Takes no export lock: a handler can be set or removed while another thread waits for an
// answer, and the sink has a lock of its own.
extern "C" int CorvexLinkSetDebugHandler(CorvexLinkDebugHandler handler, void *context) {
    if (!handler) {
        corvex::platform::setDiagnosticsSink({});
        return 1;
    }
    corvex::platform::setDiagnosticsSink(
        [handler, context](const std::string &line) { handler(line.c_str(), context); });
    return 1;
}
CORVEXLINK_ALIAS(CorvexLinkSetDebugHandler)

// Takes no export lock either: the trace keeps its handler under a lock of its own.
extern "C" int CorvexLinkSetTraceHandler(CorvexLinkTraceHandler handler, void *context) {
    corvex::link::trace::setHandler(handler, context);
    return 1;
}
CORVEXLINK_ALIAS(CorvexLinkSetTraceHandler)
