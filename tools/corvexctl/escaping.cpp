// SPDX-License-Identifier: MIT
// UTF-8 checking and the escapes of text that corvexctl prints but did not write itself.
#include "escaping.h"

#include <cstdio>

namespace corvexctl {

namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

void appendHex(std::string &out, unsigned char c) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
    out += hex;
}

}  // namespace

std::size_t utf8CharacterLength(std::string_view text, std::size_t at) {
    if (at >= text.size()) return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!continuation(byte(i))) return 0;
    return length;
}

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
