// SPDX-License-Identifier: MIT
// Fuzz target: the simulator's frame parser and its stations. The input is split at CR
// into frames; each is parsed (checked against its own text) and handed to a line of
// sixteen stations on a clock that the input also drives, so any frame sequence runs
// through the station model.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "frame_parser.h"
#include "station_bus.h"

using namespace kx4417;

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "frame invariant broken: %s\n", what);
        std::abort();
    }
}

void checkParsed(std::string_view frame) {
    const ParsedFrame parsed = parseFrame(frame);
    switch (parsed.kind) {
    case ParsedFrame::Kind::Empty: check(frame.empty(), "only an empty frame is empty"); break;
    case ParsedFrame::Kind::Command:
        check(frame.ends_with(parsed.valueText), "the value is the end of the frame");
        if (frame[0] == '_') check((parsed.mask & (parsed.mask - 1)) == 0, "one station");
        break;
    case ParsedFrame::Kind::BaudChange:
        check(parsed.baudCode >= -1 && parsed.baudCode <= 4, "rate code");
        break;
    default: break;
    }
    // A number written as a program prints it ("-12", "0", not "+12" or "007") reads back
    // as the same text.
    const Value value = parseValue(parsed.valueText);
    const std::string_view digits =
        std::string_view(parsed.valueText).substr(parsed.valueText.starts_with('-'));
    const bool canonical = !digits.empty() && digits.size() < 18 &&
                           digits.find_first_not_of("0123456789") == std::string_view::npos &&
                           (digits[0] != '0' || digits.size() == 1) && parsed.valueText != "-0";
    if (canonical) {
        check(value.state == Value::State::Ok, "a plain number is a value");
        check(std::to_string(value.number) == parsed.valueText, "a plain number reads back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const auto start = std::chrono::steady_clock::now();
    StationBus bus({0, 1, 2, 3, 4, 5, 8, 12}, 9600);
    auto now = start;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    std::size_t pos = 0;
    while (pos <= input.size()) {
        std::size_t cr = input.find('\r', pos);
        if (cr == std::string_view::npos) cr = input.size();
        const std::string_view frame = input.substr(pos, cr - pos);
        checkParsed(frame);
        const auto answer = bus.handleFrame(std::string(frame), 9600, 9600, now);
        if (answer)
            check(answer->ends_with(">") && answer->size() < 512, "an answer ends with the prompt");
        // The length of each frame moves the clock, so moves and FIFO entries run.
        now += std::chrono::milliseconds(frame.size() * 7);
        pos = cr + 1;
    }
    return 0;
}
