// SPDX-License-Identifier: MIT
// --trace: every frame sent, every answer taken up, the repeats and the time-outs, as the
// library reports them for each line, printed to stderr as readable lines or as JSON lines.
#pragma once

#include <CorvexLink.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace corvexctl {

// The name of an event kind: "sent", "received", "repeat", "timeout" ("kind N" for a kind
// this program does not know).
std::string traceKindName(int kind);

// One event as a line of text (without the line end): the seconds since `startNs`, the
// kind, the bytes escaped between single quotes and, for answers and time-outs, the time
// since the frame was sent:     0.012345 received '\r\n>' after 2.1 ms
// With `showLine`, the event's line follows in brackets: ... after 2.1 ms [/dev/ttyUSB0]
std::string traceText(const CorvexLinkTraceEvent &event, std::uint64_t startNs,
                      bool showLine = false);

// One event as a JSON object: kind, bytes (escaped as in the text), time (seconds since
// `startNs`), timestamp_ns (the library's monotonic clock) and since_sent_ns (null for
// frames sent and repeated); with `showLine`, line (the event's line) too.
nlohmann::ordered_json traceJson(const CorvexLinkTraceEvent &event, std::uint64_t startNs,
                                 bool showLine = false);

// Prints every event of the lines it is attached to on stderr, one line each, timed from
// its construction. The lines must be closed (or detached) before it ends.
class FrameTrace {
public:
    explicit FrameTrace(bool json);
    FrameTrace(const FrameTrace &) = delete;
    FrameTrace &operator=(const FrameTrace &) = delete;

    // Traces `line`; with `showLine` (a command on several lines) each event names its line.
    void attach(CorvexLinkLine *line, bool showLine);

private:
    static void print(const CorvexLinkTraceEvent *event, void *context);

    bool json_;
    bool showLine_ = false;
    std::uint64_t startNs_;
};

}  // namespace corvexctl
