// SPDX-License-Identifier: MIT
// Fuzz target: the RFC 2217 decoder on bytes as they come from a server. Checks that the
// result does not depend on how the bytes are cut into reads, that what it gives back
// stays within the size of what came in, and that data escaped for the wire and COM-port
// requests decode to exactly what went in.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/rfc2217_codec.h"

using namespace corvex::platform::rfc2217;

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "codec invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes say where the stream is cut into three reads.
    const std::uint8_t *bytes = data + 2;
    const std::size_t count = size - 2;
    std::size_t a = data[0] % (count + 1), b = data[1] % (count + 1);
    if (a > b) std::swap(a, b);

    Decoder whole, pieces;
    const bool opened = (data[0] & 1) != 0;  // with or without the client's own requests
    if (opened) {
        whole.opening();
        pieces.opening();
    }
    Decoded one, three;
    whole.receive(bytes, count, one);
    pieces.receive(bytes, a, three);
    pieces.receive(bytes + a, b - a, three);
    pieces.receive(bytes + b, count - b, three);
    check(one.data == three.data, "data independent of the reads");
    check(one.replies == three.replies, "answers independent of the reads");
    check(one.messages == three.messages, "messages independent of the reads");
    check(whole.comPort() == pieces.comPort(), "agreement independent of the reads");

    check(one.data.size() <= count, "no more data than bytes");
    check(one.replies.size() <= count, "an answer per negotiation at most");
    for (const ComPortMessage &m : one.messages)
        check(m.value.size() + 2 <= Decoder::kMaxSubnegotiation, "messages bounded");

    // The input taken as line data: escaped for the wire, it decodes to itself alone.
    const std::string wire = escapeData(bytes, count);
    Decoder fresh;
    Decoded back;
    fresh.receive(wire.data(), wire.size(), back);
    check(back.data == std::string(reinterpret_cast<const char *>(bytes), count),
          "data round trip");
    check(back.replies.empty() && back.messages.empty(), "data is only data");
    check(dataBytesSent(bytes, count, wire.size()) == count, "all data sent");
    check(dataBytesSent(bytes, count, b) <= b, "no more data sent than wire bytes");

    // The input taken as a COM-port value: a request decodes to that message.
    const std::string value(reinterpret_cast<const char *>(bytes), count < 62 ? count : 62);
    const std::string req = request(data[1], value);
    Decoder server;
    Decoded message;
    server.receive(req.data(), req.size(), message);
    check(message.messages.size() == 1 && message.messages[0].command == data[1] &&
              message.messages[0].value == value && message.data.empty(),
          "request round trip");
    return 0;
}
