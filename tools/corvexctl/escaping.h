// SPDX-License-Identifier: MIT
// Text from outside corvexctl (station answers inside the library's messages, file names,
// arguments, adapter descriptions) made safe to print: no byte can break the JSON output or
// send a control sequence to the terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "utf8.h"

namespace corvexctl {

// The length of the well-formed UTF-8 character that starts at `at` (utf8.h).
using corvexlink::text::utf8CharacterLength;

// `text` with every byte that is not part of well-formed UTF-8 written as \xNN (two
// upper-case hex digits); well-formed text comes back unchanged.
std::string wellFormedUtf8(std::string_view text);

// `text` for a terminal: control characters (C0, DEL and the C1 range) and bytes that are
// not well-formed UTF-8 written as \r, \n or \xNN; printable characters, other languages'
// letters included, kept. With `keepNewlines`, line feeds stay line feeds.
std::string terminalText(std::string_view text, bool keepNewlines = false);

// Raw bytes of the line as ASCII text that reads back unambiguously: printable ASCII as it
// is, a backslash doubled, CR and LF as \r and \n, any other byte as \xNN.
std::string lineBytesText(std::string_view bytes);

}  // namespace corvexctl
