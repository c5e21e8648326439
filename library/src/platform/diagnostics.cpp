// SPDX-License-Identifier: MIT
#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace corvex::platform {
namespace {

std::mutex &sinkMutex() {
    static std::mutex *m = new std::mutex;  // never destroyed: usable during process exit
    return *m;
}

DiagnosticsSink &currentSink() {
    static DiagnosticsSink *sink = new DiagnosticsSink;
    return *sink;
}

bool debugToStderr() {
    static const bool enabled = [] {
        const char *v = std::getenv("CORVEXLINK_DEBUG");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

}  // namespace

void diag(const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);

    std::lock_guard<std::mutex> lock(sinkMutex());
    if (currentSink()) {
        currentSink()(text);
    } else if (debugToStderr()) {
        std::fputs(text, stderr);
    }
}

void setDiagnosticsSink(DiagnosticsSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    currentSink() = std::move(sink);
}

}  // namespace corvex::platform
