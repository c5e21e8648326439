// SPDX-License-Identifier: MIT
// The frame trace of --trace: the library's trace events formatted and written to stderr.
#include "frame_trace.h"

#include "escaping.h"

#include <chrono>
#include <cstdio>

namespace corvexctl {

namespace {

// The library stamps its events with the steady clock, in nanoseconds.
std::uint64_t nowNs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// Seconds from `startNs` to the event; negative for an event stamped before the trace began.
double secondsSince(const CorvexLinkTraceEvent &event, std::uint64_t startNs) {
    return (static_cast<double>(event.timestampNs) - static_cast<double>(startNs)) / 1e9;
}

std::string bytesOf(const CorvexLinkTraceEvent &event) {
    if (event.length == 0) return {};
    return lineBytesText(
        std::string_view(reinterpret_cast<const char *>(event.bytes), event.length));
}

}  // namespace

std::string traceKindName(int kind) {
    switch (kind) {
    case CORVEXLINK_TRACE_SENT: return "sent";
    case CORVEXLINK_TRACE_RECEIVED: return "received";
    case CORVEXLINK_TRACE_REPEAT: return "repeat";
    case CORVEXLINK_TRACE_TIMEOUT: return "timeout";
    default: return "kind " + std::to_string(kind);
    }
}

std::string traceText(const CorvexLinkTraceEvent &event, std::uint64_t startNs, bool showLine) {
    char head[64];
    std::snprintf(head, sizeof head, "%12.6f %-8s ", secondsSince(event, startNs),
                  traceKindName(event.kind).c_str());
    std::string line = head + ("'" + bytesOf(event) + "'");
    if (event.sinceSentNs >= 0) {
        char after[48];
        std::snprintf(after, sizeof after, " after %.1f ms",
                      static_cast<double>(event.sinceSentNs) / 1e6);
        line += after;
    }
    if (showLine) line += std::string(" [") + (event.line ? event.line : "") + "]";
    return line;
}

nlohmann::ordered_json traceJson(const CorvexLinkTraceEvent &event, std::uint64_t startNs,
                                 bool showLine) {
    nlohmann::ordered_json object = {
        {"kind", traceKindName(event.kind)},
        {"bytes", bytesOf(event)},
        {"time", secondsSince(event, startNs)},
        {"timestamp_ns", event.timestampNs},
        {"since_sent_ns", event.sinceSentNs >= 0 ? nlohmann::ordered_json(event.sinceSentNs)
                                                 : nlohmann::ordered_json(nullptr)}};
    if (showLine) object["line"] = event.line ? event.line : "";
    return object;
}

FrameTrace::FrameTrace(bool json) : json_(json), startNs_(nowNs()) {}

void FrameTrace::attach(CorvexLinkLine *line, bool showLine) {
    showLine_ = showLine_ || showLine;
    CorvexLinkLineSetTraceHandler(line, &FrameTrace::print, this);
}

void FrameTrace::print(const CorvexLinkTraceEvent *event, void *context) {
    const auto *self = static_cast<const FrameTrace *>(context);
    // A device name is the one text here that may not be UTF-8: replaced, never thrown on.
    const std::string line =
        (self->json_ ? traceJson(*event, self->startNs_, self->showLine_)
                           .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                     : traceText(*event, self->startNs_, self->showLine_)) +
        "\n";
    // One write per line, so that each line stays whole beside other output on stderr.
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace corvexctl
