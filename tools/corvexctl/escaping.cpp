// SPDX-License-Identifier: MIT
// The escapes of text that corvexctl prints but did not write itself.
#include "escaping.h"

#include <cstdio>

namespace corvexctl {

namespace {

void appendHex(std::string &out, unsigned char c) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
    out += hex;
}

}  // namespace

std::string wellFormedUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8CharacterLength(text, at);
        if (length == 0) {
            appendHex(out, static_cast<unsigned char>(text[at]));
            ++at;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

std::string terminalText(std::string_view text, bool keepNewlines) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8CharacterLength(text, at);
        // U+0080..U+009F are written C2 80..C2 9F; terminals take some of them as controls.
        const bool c1Control =
            length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (c == '\n' && keepNewlines) {
            out += '\n';
            ++at;
        } else if (c == '\r' || c == '\n') {
            out += c == '\r' ? "\\r" : "\\n";
            ++at;
        } else if (length == 0 || c < 0x20 || c == 0x7F || c1Control) {
            // A C1 control is written byte by byte, like any other escaped sequence.
            const std::size_t count = c1Control ? 2 : 1;
            for (std::size_t i = 0; i < count; ++i)
                appendHex(out, static_cast<unsigned char>(text[at + i]));
            at += count;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

std::string lineBytesText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += byte;
        } else {
            appendHex(out, c);
        }
    }
    return out;
}

}  // namespace corvexctl
