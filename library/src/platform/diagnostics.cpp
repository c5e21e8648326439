// SPDX-License-Identifier: MIT
#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "callback_slot.h"

namespace corvex::platform {
namespace {

CallbackSlot<DiagnosticsSink> &sinkSlot() {
    static auto *slot = new CallbackSlot<DiagnosticsSink>;  // never destroyed: usable at exit
    return *slot;
}

bool debugToStderr() {
    static const bool enabled = [] {
        const char *v = std::getenv("CORVEXLINK_DEBUG");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

thread_local const std::string *t_tag = nullptr;

}  // namespace

DiagnosticsTag::DiagnosticsTag(const std::string &line) noexcept : previous_(t_tag) {
    t_tag = &line;
}
DiagnosticsTag::~DiagnosticsTag() { t_tag = previous_; }

void diag(const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);

    if (t_tag != nullptr && !t_tag->empty()) {
        // The tag goes before the line's end, so every line still ends with its newline.
        std::size_t length = std::strlen(text);
        const bool newline = length > 0 && text[length - 1] == '\n';
        if (newline) text[--length] = '\0';
        std::snprintf(text + length, sizeof text - length, " [line %s]%s", t_tag->c_str(),
                      newline ? "\n" : "");
    }
    const std::string line(text);
    if (!sinkSlot().call([&](const DiagnosticsSink &sink) { sink(line); }) && debugToStderr())
        std::fputs(text, stderr);
}

void setDiagnosticsSink(DiagnosticsSink sink) { sinkSlot().set(std::move(sink)); }

}  // namespace corvex::platform
