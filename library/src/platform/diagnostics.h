// SPDX-License-Identifier: MIT
// The diagnostics sink: every debug line of the library goes through here.
// By default lines are written to stderr only when CORVEXLINK_DEBUG=1 is set;
// tests install their own sink to capture them.
#pragma once

#include <functional>
#include <string>

namespace corvex::platform {

using DiagnosticsSink = std::function<void(const std::string &line)>;

// Formats with printf rules and hands the text to the sink. Never changes library state.
void diag(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Replaces the sink; an empty function restores the default one.
void setDiagnosticsSink(DiagnosticsSink sink);

}  // namespace corvex::platform
