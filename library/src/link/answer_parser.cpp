// SPDX-License-Identifier: MIT
// The answer rules: what is kept of the received bytes, when an answer is complete, and
// how a complete answer becomes an error code or a value.
#include "answer_parser.h"

#include <climits>
#include <cstring>
#include <memory>

namespace corvex::link {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Leading blanks, an optional sign, then digits up to the first non-digit; no digits
// give 0. Saturates instead of overflowing on absurdly long numbers.
std::int32_t leadingInt(const char *text, std::size_t length) {
    std::size_t i = 0;
    while (i < length && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < length && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<std::int32_t>(value);
}

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Characters that the working text leaves out, and blanks, which the number reading skips.
bool isFiller(char c) { return c == '\a' || c == 'H' || c == 'L' || c == ' ' || c == '\t'; }

// Whether a line (without its line end) begins as an answer does.
bool beginsAsAnswer(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && isFiller(line[i])) ++i;
    if (i == line.size()) return false;
    if (line[i] == '?' || isDigit(line[i])) return true;
    return (line[i] == '+' || line[i] == '-') && i + 1 < line.size() && isDigit(line[i + 1]);
}

// Where the answer starts in `beforePrompt`: 0 unless several lines hold text, else the
// start of the last line that begins as an answer (0 when none does).
std::size_t answerLineStart(std::string_view beforePrompt) {
    int linesWithText = 0;
    std::size_t lastAnswerLine = 0;
    bool anyAnswerLine = false;
    std::size_t start = 0;
    while (start <= beforePrompt.size()) {
        std::size_t end = start;
        while (end < beforePrompt.size() && !isLineEnd(beforePrompt[end])) ++end;
        const std::string_view line = beforePrompt.substr(start, end - start);
        bool hasText = false;
        for (char c : line) hasText = hasText || !isFiller(c);
        if (hasText) ++linesWithText;
        if (beginsAsAnswer(line)) {
            lastAnswerLine = start;
            anyAnswerLine = true;
        }
        if (end == beforePrompt.size()) break;
        start = end + 1;
    }
    return linesWithText > 1 && anyAnswerLine ? lastAnswerLine : 0;
}

}  // namespace

void AnswerBuffer::clear() {
    length_ = 0;
    buffer_[0] = '\0';
    prompt_ = false;
}

bool AnswerBuffer::append(const char *bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\0') continue;
        if (length_ >= kAnswerCapacity) break;  // full: the rest is dropped
        buffer_[length_++] = c;
        if (c == '>') prompt_ = true;
    }
    buffer_[length_] = '\0';
    return prompt_;
}

AnswerResult interpretAnswer(std::string_view raw) {
    AnswerResult r;
    const std::size_t prompt = raw.find('>');
    if (prompt == std::string_view::npos) return r;
    r.lineStart = answerLineStart(raw.substr(0, prompt));
    raw.remove_prefix(r.lineStart);

    // The working text: the answer without BEL, LF, CR, 'H' and 'L', at most 99 characters.
    std::size_t length = 0;
    for (char c : raw) {
        if (c == '\a' || c == '\n' || c == '\r' || c == 'H' || c == 'L') continue;
        if (length == kWorkingTextSize - 1) break;
        r.text[length++] = c;
    }
    r.text[length] = '\0';
    r.textLength = length;

    if (length > 1 && r.text[0] == '?') {
        r.kind = AnswerKind::Error;
        for (std::size_t i = 1; i <= 3 && i < length && isDigit(r.text[i]); ++i) {
            r.code = r.code * 10 + (r.text[i] - '0');
        }
        return r;
    }

    r.kind = AnswerKind::Success;
    // The last character is the prompt. What stands before it is a value when it is longer
    // than one character, or one decimal digit; a lone other character or nothing is none.
    const std::size_t before = length > 0 ? length - 1 : 0;
    r.hasValue = before > 1 || (before == 1 && isDigit(r.text[0]));
    if (r.hasValue) r.value = leadingInt(r.text, before);
    return r;
}

AnswerResult parseAnswer(const char *bytes, std::size_t count) {
    if (bytes == nullptr) count = 0;
    const auto buffer = std::make_unique<AnswerBuffer>();
    buffer->append(bytes, count);
    return interpretAnswer(buffer->text());
}

}  // namespace corvex::link
