// SPDX-License-Identifier: MIT
// The diagnostics sink: every debug line of the library goes through here.
// By default lines are written to stderr only when CORVEXLINK_DEBUG=1 is set;
// a caller's handler (or a test's sink) takes them instead.
#pragma once

#include <functional>
#include <string>

namespace corvex::platform {

using DiagnosticsSink = std::function<void(const std::string &line)>;

// Formats with printf rules and hands the text to the sink. Never changes library state.
// While a DiagnosticsTag is alive on the thread, its text names the line the thread works
// for at the end of the line: "... [line rfc2217://host:4000]".
void diag(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Replaces the sink; an empty function restores the default one. Returns once no other
// thread is still inside the sink it replaced.
void setDiagnosticsSink(DiagnosticsSink sink);

// Names the line the calling thread works for in its debug lines while alive; an empty
// name adds nothing. Scopes nest; the innermost one counts.
class DiagnosticsTag {
public:
    explicit DiagnosticsTag(const std::string &line) noexcept;
    ~DiagnosticsTag();
    DiagnosticsTag(const DiagnosticsTag &) = delete;
    DiagnosticsTag &operator=(const DiagnosticsTag &) = delete;

private:
    const std::string *previous_;
};

}  // namespace corvex::platform
