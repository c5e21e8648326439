// SPDX-License-Identifier: MIT
// Fuzz target: the library's answer rules on bytes as they come off the line. Checks that
// the result does not depend on how the bytes are cut into reads, that an answer is
// complete exactly when a kept byte is the prompt, and that the working text and the
// error code stay within their bounds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "link/answer_parser.h"

using namespace corvex::link;

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "answer invariant broken: %s\n", what);
        std::abort();
    }
}

bool same(const AnswerResult &a, const AnswerResult &b) {
    return a.kind == b.kind && a.code == b.code && a.hasValue == b.hasValue && a.value == b.value &&
           a.textLength == b.textLength && std::memcmp(a.text, b.text, a.textLength) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte says where the line's bytes are cut into two reads.
    const std::size_t cut = data[0] % size;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t count = size - 1;

    const AnswerResult whole = parseAnswer(bytes, count);
    auto buffer = std::make_unique<AnswerBuffer>();
    const std::size_t first = cut < count ? cut : count;
    buffer->append(bytes, first);
    const bool complete = buffer->append(bytes + first, count - first);
    const AnswerResult pieces = interpretAnswer(buffer->text());
    check(same(whole, pieces), "two reads give the answer of one");

    // Complete exactly when one of the kept bytes (non-NUL, within the capacity) is '>'.
    bool prompt = false;
    int kept = 0;
    for (std::size_t i = 0; i < count && kept < kAnswerCapacity; ++i) {
        if (bytes[i] == '\0') continue;
        ++kept;
        prompt = prompt || bytes[i] == '>';
    }
    check(complete == prompt, "complete when a prompt is kept");
    check((whole.kind == AnswerKind::Incomplete) == !prompt, "incomplete without a prompt");
    check(buffer->text().size() == static_cast<std::size_t>(kept), "NULs skipped, the rest kept");

    check(whole.textLength < kWorkingTextSize && whole.text[whole.textLength] == '\0',
          "working text bounded");
    for (std::size_t i = 0; i < whole.textLength; ++i)
        check(std::strchr("\a\n\rHL", whole.text[i]) == nullptr || whole.text[i] == '\0',
              "filtered");
    if (whole.kind == AnswerKind::Error)
        check(whole.text[0] == '?' && whole.code >= 0 && whole.code <= 999, "code");
    if (whole.kind != AnswerKind::Success)
        check(!whole.hasValue, "values only in successful answers");
    return 0;
}
