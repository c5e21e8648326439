// SPDX-License-Identifier: MIT
// What the unload of the library (or the end of the process) does with the lines.
#pragma once

#include <chrono>

namespace corvex::exports {

// How long the unload waits for a call under way on a line: one call's transactions end
// within a few answer waits; a call that does not end by then keeps its line open.
inline constexpr std::chrono::milliseconds kUnloadCallBound{1000};

// Closes every line whose port is open, each once the call under way on it has ended (within
// kUnloadCallBound), retiring it first so that later calls fail cleanly.
void closeLinesAtUnload() noexcept;

}  // namespace corvex::exports
