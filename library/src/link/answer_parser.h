// SPDX-License-Identifier: MIT
// The rules that turn the bytes a station sends into an answer, in one place and free of
// any state: which bytes are kept (NULs skipped, at most kAnswerCapacity characters), when
// an answer is complete (a prompt '>' anywhere), and what a complete answer means (the
// working text without BEL, LF, CR, 'H' and 'L'; an error code after '?'; a value). Noise
// on lines before the line that holds the answer is left out (see interpretAnswer).
// The receive worker and the transaction both use it; parseAnswer runs the whole set on a
// block of bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvex::link {

inline constexpr int kAnswerCapacity = 4999;          // characters kept of one answer
inline constexpr std::size_t kWorkingTextSize = 100;  // working text with its NUL

// Everything received for one command, as the receive rules keep it.
class AnswerBuffer {
public:
    void clear();
    // Appends `count` bytes: NULs are skipped (line noise never ends or hides the rest),
    // bytes beyond the capacity are dropped. True once the kept text holds a prompt.
    bool append(const char *bytes, std::size_t count);
    bool complete() const { return prompt_; }
    std::string_view text() const { return {buffer_, static_cast<std::size_t>(length_)}; }

private:
    char buffer_[kAnswerCapacity + 1] = {};
    int length_ = 0;
    bool prompt_ = false;
};

enum class AnswerKind : std::uint8_t {
    Incomplete,  // no prompt yet
    Success,     // complete, not an error answer
    Error,       // '?' and (up to three digits of) an answer code
};

struct AnswerResult {
    AnswerKind kind = AnswerKind::Incomplete;
    int code = 0;                      // Error: the code after '?' (0 when no digits follow)
    bool hasValue = false;             // Success: a number stands before the prompt
    std::int32_t value = 0;            // that number, saturated to the 32-bit range
    char text[kWorkingTextSize] = {};  // the working text (Error and Success)
    std::size_t textLength = 0;
    std::size_t lineStart = 0;  // where the answer starts in the raw text (after noise lines)
};

// What a complete answer text means. `raw` is the text as kept by AnswerBuffer.
// A clean answer holds text on one line at most. When the text before the prompt spans
// several lines with text, the earlier ones are line noise: the answer is read from the last
// line that begins as an answer does (a number, a sign and a number, or '?' and a code),
// else (no line does) from the whole text, as a one-line answer is.
AnswerResult interpretAnswer(std::string_view raw);

// The whole rule set on bytes as they come off the line.
AnswerResult parseAnswer(const char *bytes, std::size_t count);

}  // namespace corvex::link
