// SPDX-License-Identifier: MIT
// Export of the diagnostics family: a caller's handler for the library's debug lines.
#include "export.h"
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
