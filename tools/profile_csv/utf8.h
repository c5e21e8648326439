// SPDX-License-Identifier: MIT
// The UTF-8 rule the tools share: where a well-formed character starts and how long it is.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvexlink::text {

// The length of the well-formed UTF-8 character that starts at `at` (1 for ASCII), or 0
// when the byte there does not start one (a stray continuation byte, an overlong form, a
// surrogate, a cut sequence).
std::size_t utf8CharacterLength(std::string_view text, std::size_t at);

}  // namespace corvexlink::text
