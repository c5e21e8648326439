// SPDX-License-Identifier: MIT
// The library's lines. Each has an id that is never given again in the process: 1 is the
// default line, on which the specified exports act, created on first use and kept for the
// life of the process; the others are opened and closed by their callers. A call holds a
// shared reference to its line, so a line that is closed while calls are under way is freed
// only when the last of them has ended.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "line.h"

namespace corvex::link {

inline constexpr std::uint64_t kDefaultLineId = 1;

// The default line, created on first use.
std::shared_ptr<Line> defaultLine();
// The line with `id` while it is open; null for an id that is unknown or closed.
std::shared_ptr<Line> findLine(std::uint64_t id);
// An id for a new line: never the default's, never given before.
std::uint64_t newLineId();
// Adds an opened line under its id.
void addLine(std::shared_ptr<Line> line);
// Takes the line with `id` out of the library (the default line stays); null when unknown.
std::shared_ptr<Line> removeLine(std::uint64_t id);
// Every line, the default one first (when it exists); allocates nothing when there is none
// besides the default one, so it can be called while the library is unloaded.
std::vector<std::shared_ptr<Line>> allLines();
// The default line if it exists, without creating it.
std::shared_ptr<Line> existingDefaultLine();
// Puts `line` in the default line's place (the tests' fresh start); the old one is returned.
std::shared_ptr<Line> replaceDefaultLine(std::shared_ptr<Line> line);

}  // namespace corvex::link
